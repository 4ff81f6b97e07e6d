// dBHandler navigation without index files: deleted records, Skip, the filter, Locate, the
// read-ahead buffer and Find without a tag.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "handler/db_handler.h"
#include "dbf/errors.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RawField;
using testsupport::TempDir;

const std::vector<RawField> kFields = {{"CODIGO", 'C', 6}, {"QTD", 'N', 4}};

// Records CODIGO "Rn", QTD n for n = 1..count; the numbers in `deleted` carry the mark.
std::string MakeTable(const TempDir& dir, int count, const std::vector<int>& deleted = {}) {
  std::vector<std::string> recs;
  for (int n = 1; n <= count; ++n) {
    bool del = std::find(deleted.begin(), deleted.end(), n) != deleted.end();
    std::string code = "R" + std::to_string(n);
    std::string qtd = std::to_string(n);
    recs.push_back(std::string(del ? "*" : " ") + code + std::string(6 - code.size(), ' ') +
                   std::string(4 - qtd.size(), ' ') + qtd);
  }
  std::string path = dir.File("NAV.DBF");
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, kFields, recs));
  return path;
}

TEST(NavigationTest, DeletedRecordsAreSkippedOnlyByRelativeRequests) {
  TempDir dir;
  dBHandler t(MakeTable(dir, 5, {1, 2, 5}), "", false, false);
  t.GetRecord(kFirst);
  EXPECT_EQ(t.record_number(), 1);  // use-deleted is on by default
  t.set_use_deleted(false);
  t.GetRecord(kFirst);
  EXPECT_EQ(t.record_number(), 3);
  t.GetRecord(2);
  EXPECT_EQ(t.record_number(), 2);
  EXPECT_TRUE(t.deleted());
  t.GetRecord(kLast);
  EXPECT_EQ(t.record_number(), 4);
  t.GetRecord(kNext);
  EXPECT_TRUE(t.eof());
  EXPECT_FALSE(t.positioned());
  EXPECT_EQ(t.StringGet(1), "");  // past the end the buffer is blank
  t.GetRecord(3);
  t.GetRecord(kPrevious);
  EXPECT_TRUE(t.bof());
  t.GetRecord(2);
  t.GetRecord(0);  // nothing to do, even on a record that relative moves would skip
  EXPECT_EQ(t.record_number(), 2);
}

TEST(NavigationTest, SkipStopsAtTheEnds) {
  TempDir dir;
  dBHandler t(MakeTable(dir, 10), "", false, false);
  t.GetRecord(8);
  t.Skip(5);
  EXPECT_EQ(t.record_number(), 10);
  EXPECT_TRUE(t.eof());
  t.GetRecord(3);
  t.Skip(-7);
  EXPECT_EQ(t.record_number(), 1);
  EXPECT_TRUE(t.bof());
  t.GetRecord(3);
  t.Skip(2);
  EXPECT_EQ(t.record_number(), 5);
  EXPECT_FALSE(t.eof());
  t.set_use_deleted(false);  // the slow path: one accepted record at a time
  t.Skip(-2);
  EXPECT_EQ(t.record_number(), 3);
}

TEST(NavigationTest, FilterSelectsRecordsAndFollowsWrites) {
  TempDir dir;
  dBHandler t(MakeTable(dir, 10), "", true, false);
  t.SetFilterActive(true);
  t.SetFilter("QTD > 7 .OR. QTD = 2", false, false);
  ASSERT_TRUE(t.filter_active());
  std::vector<int32_t> seen;
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) seen.push_back(t.record_number());
  EXPECT_EQ(seen, (std::vector<int32_t>{2, 8, 9, 10}));
  t.GetRecord(kLast);
  EXPECT_EQ(t.record_number(), 10);
  t.GetRecord(kPrevious);
  EXPECT_EQ(t.record_number(), 9);

  // A write updates the record's bit.
  t.GetRecord(5);
  t.NumberPut(2, 50);
  t.PutRecord(5);
  EXPECT_TRUE(t.FilterBit(5));
  t.GetRecord(8);
  t.NumberPut(2, 1);
  t.PutRecord(8);
  EXPECT_FALSE(t.FilterBit(8));
  seen.clear();
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) seen.push_back(t.record_number());
  EXPECT_EQ(seen, (std::vector<int32_t>{2, 5, 9, 10}));

  t.SetFilter("QTD > 1000", false, false);
  t.GetRecord(kFirst);
  EXPECT_TRUE(t.eof() && t.bof());

  try {
    t.SetFilter("QTD + 1", false, false);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Filter expression must return boolean result");
  }
  t.SetFilter("", false, false);
  EXPECT_FALSE(t.filter_active());
  t.GetRecord(kFirst);
  EXPECT_EQ(t.record_number(), 1);
}

TEST(NavigationTest, LocateScansByFieldValues) {
  TempDir dir;
  dBHandler t(MakeTable(dir, 20), "", false, false);
  EXPECT_TRUE(t.Locate("CODIGO", {"R17"}, false, false));
  EXPECT_EQ(t.record_number(), 17);
  EXPECT_TRUE(t.Locate("codigo;QTD", {"r12", "12"}, false, true));
  EXPECT_EQ(t.record_number(), 12);
  EXPECT_FALSE(t.Locate("CODIGO", {"r12"}, false, false));
  EXPECT_TRUE(t.Locate("CODIGO", {"R1"}, true, false));  // partial: "R1" matches R1 first
  EXPECT_EQ(t.record_number(), 1);
  EXPECT_TRUE(t.Locate("QTD;CODIGO", {"15", "R1"}, true, false));
  EXPECT_EQ(t.record_number(), 15);
}

TEST(NavigationTest, ReadAheadServesTheSameRecordsAndSeesWrites) {
  TempDir dir;
  dBHandler t(MakeTable(dir, 3000), "", true, false);
  t.SetReadAhead(true);
  long double sum = 0;
  int count = 0;
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) {
    sum += t.NumberGet(2);
    ++count;
  }
  EXPECT_EQ(count, 3000);
  EXPECT_EQ(sum, 3000.0L * 3001 / 2);
  t.GetRecord(10);
  t.StringPut(1, "NEW");
  t.PutRecord(10);
  t.GetRecord(9);
  t.GetRecord(10);  // from the buffer: the write went into it too
  EXPECT_EQ(t.StringGet(1), "NEW");
  t.Blank();
  t.StringPut(1, "LAST");
  t.Append();
  t.GetRecord(3001);
  EXPECT_EQ(t.StringGet(1), "LAST");
}

// Appends extend the buffered run until it is full, then a read starts a new one: every record
// must read back as written across those boundaries, also after rewriting earlier records.
TEST(NavigationTest, ReadAheadFollowsAppendsAcrossRefills) {
  TempDir dir;
  const std::string path = MakeTable(dir, 1);
  {
    dBHandler t(path, "", true, false);
    t.SetReadAhead(true);
    t.GetRecord(1);
    for (int n = 2; n <= 3000; ++n) {
      t.Blank();
      t.StringPut(1, "A" + std::to_string(n));
      t.NumberPut(2, n);
      t.Append();
      t.GetRecord(n);
      ASSERT_EQ(t.StringGet(1), "A" + std::to_string(n));
      t.GetRecord(n - 1);
      ASSERT_EQ(t.NumberGet(2), n == 2 ? 1 : n - 1);
      if (n % 700 == 0) {
        t.GetRecord(n / 2);
        t.StringPut(1, "W" + std::to_string(n / 2));
        t.PutRecord(n / 2);
      }
    }
  }
  dBHandler fresh(path, "", false, true);
  ASSERT_EQ(fresh.record_count(), 3000);
  for (int n = 2; n <= 3000; ++n) {
    fresh.GetRecord(n);
    const bool rewritten = n % 350 == 0 && n <= 1500;
    EXPECT_EQ(fresh.StringGet(1), (rewritten ? "W" : "A") + std::to_string(n)) << n;
  }
}

// On an exclusive table a forward walk through the filter reads through the buffer: against a
// model, every step lands on the next passing record and reads what was last written to it,
// across replacements, appends, backward steps and read-ahead switched on and off.
TEST(NavigationTest, FilteredWalksOnAnExclusiveTableSeeEveryWrite) {
  TempDir dir;
  dBHandler t(MakeTable(dir, 3000), "", true, false);
  std::vector<int> qtd(3001);  // by record number; [0] unused
  for (int n = 1; n <= 3000; ++n) qtd[static_cast<size_t>(n)] = n;
  auto passes = [&](int32_t n) { return qtd[static_cast<size_t>(n)] < 1000; };
  t.SetFilterActive(true);
  t.SetFilter("QTD < 1000", false, false);
  std::mt19937 rng(5);
  auto check_current = [&](int32_t want) {
    if (want == 0) {
      ASSERT_TRUE(t.eof() || t.bof());
      return;
    }
    ASSERT_EQ(t.record_number(), want);
    ASSERT_EQ(static_cast<int>(t.NumberGet(2)), qtd[static_cast<size_t>(want)]);
    ASSERT_EQ(t.StringGet(1), "C" + std::to_string(qtd[static_cast<size_t>(want)]) + (want > 3000 || want % 2 ? "" : "x"))
        << "record " << want;
  };
  auto write = [&](int32_t n, int value) {
    t.StringPut(1, "C" + std::to_string(value) + (n > 3000 || n % 2 ? "" : "x"));
    t.NumberPut(2, value);
  };
  for (int32_t n = 1; n <= 3000; ++n) {  // codes that follow the quantities
    t.GetRecord(n);
    write(n, qtd[static_cast<size_t>(n)]);
    t.PutRecord(n);
  }
  const auto count = [&] { return static_cast<int32_t>(qtd.size() - 1); };
  for (int step = 0; step < 4000; ++step) {
    const uint32_t op = rng() % 100;
    if (op < 50) {
      const bool from_start = rng() % 4 == 0 || !t.positioned();
      int32_t want = from_start ? 1 : t.record_number() + 1;
      while (want <= count() && !passes(want)) ++want;
      t.GetRecord(from_start ? kFirst : kNext);
      check_current(want > count() ? 0 : want);
    } else if (op < 60 && t.positioned()) {
      int32_t want = t.record_number() - 1;
      while (want >= 1 && !passes(want)) --want;
      t.GetRecord(kPrevious);
      check_current(want < 1 ? 0 : want);
    } else if (op < 85) {
      // Replace a record near the walk, or anywhere.
      const int32_t base = t.positioned() ? t.record_number() : 1;
      const int32_t n = rng() % 2 ? std::clamp<int32_t>(base + static_cast<int32_t>(rng() % 40) - 10, 1, count())
                                  : 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(count()));
      const int value = static_cast<int>(rng() % 3000);
      t.GetRecord(n);
      write(n, value);
      t.PutRecord(n);
      qtd[static_cast<size_t>(n)] = value;
    } else if (op < 95) {
      const int value = static_cast<int>(rng() % 3000);
      t.Blank();
      qtd.push_back(value);
      write(count(), value);
      t.Append();
    } else {
      t.SetReadAhead(!t.read_ahead());
    }
  }
}

TEST(NavigationTest, FindWithoutATagEndsAtEof) {
  TempDir dir;
  dBHandler t(MakeTable(dir, 4), "", false, false);
  EXPECT_FALSE(t.Find("R2"));
  EXPECT_TRUE(t.eof());
  EXPECT_EQ(t.FindInTag("ANY", "R2"), -1);
  try {
    t.SelectTag("CODIGO", false);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Cannot find index tag CODIGO");
  }
}

}  // namespace
}  // namespace dbase
