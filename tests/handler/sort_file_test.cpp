// SortFile: sorted copies by text, number and date keys, with memos, and the checks made
// before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "platform/os_file.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::TempDir;

struct Row {
  std::string code;
  double qtd;
  std::string date;
};

std::string MakeTable(const TempDir& dir, const std::vector<Row>& rows) {
  std::string path = dir.File("ITENS.DBF");
  {
    DB4Build b(path);
    b.AddField("CODIGO", 'C', 10, 0);
    b.AddField("QTD", 'N', 9, 2);
    b.AddField("DATA", 'D', 8, 0);
    b.AddField("OBS", 'M', 10, 0);
    b.Build();
  }
  dBHandler t(path, "", true, false);
  for (const Row& r : rows) {
    t.Blank();
    t.StringPut(1, r.code);
    t.NumberPut(2, r.qtd);
    t.StringPut(3, r.date);
    t.StringPut(4, "obs of " + r.code);
    t.Append();
  }
  return path;
}

std::vector<int> OrderOf(const std::string& path) {
  dBHandler t(path, "", false, false);
  std::vector<int> order;
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) {
    EXPECT_EQ(t.StringGet(4), "obs of " + t.StringGet(1));  // memo travels with its record
    order.push_back(std::stoi(t.StringGet(1).substr(1)));
  }
  return order;
}

TEST(SortFileTest, SortsByTextNumberAndDateKeysWithRecordOrderForTies) {
  TempDir dir;
  std::mt19937 rng(7);
  std::vector<Row> rows;
  for (int i = 0; i < 300; ++i) {
    char date[9];
    std::snprintf(date, sizeof date, "%04d%02d%02d", 1990 + static_cast<int>(rng() % 40),
                  1 + static_cast<int>(rng() % 12), 1 + static_cast<int>(rng() % 28));
    double qtd = (static_cast<int>(rng() % 20001) - 10000) / 100.0;
    rows.push_back({"R" + std::to_string(i), qtd, date});
  }
  std::string src = MakeTable(dir, rows);
  dBHandler t(src, "", false, false);

  auto expect_order = [&](const std::string& key, int sequence, auto less) {
    std::string out = dir.File("OUT" + std::to_string(sequence) + ".DBF");
    t.SortFile(out, "", sequence, key);
    std::vector<int> want(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) want[i] = static_cast<int>(i);
    std::stable_sort(want.begin(), want.end(), less);
    if (sequence != 2) std::reverse(want.begin(), want.end());  // descending: ties in reverse record order
    EXPECT_EQ(OrderOf(out), want) << key;
    std::remove(out.c_str());
    std::remove((out.substr(0, out.size() - 4) + ".DBT").c_str());
  };
  expect_order("QTD", 2, [&](int a, int b) { return rows[a].qtd < rows[b].qtd; });
  expect_order("QTD", 3, [&](int a, int b) { return rows[a].qtd < rows[b].qtd; });
  expect_order("DATA", 2, [&](int a, int b) { return rows[a].date < rows[b].date; });
  expect_order("CODIGO", 2, [&](int a, int b) { return rows[a].code < rows[b].code; });
  expect_order("DTOS(DATA) + CODIGO", 2, [&](int a, int b) {
    return rows[a].date + rows[a].code < rows[b].date + rows[b].code;
  });
}

// Tables without memos are copied in batches read in file order. Wide records make several
// batches, runs and gaps out of a few thousand records; every case is checked byte for byte
// against the source's own record reads, in the order a stable sort of the keys gives.
TEST(SortFileTest, BatchedCopiesMatchTheSourceRecordsInKeyOrder) {
  TempDir dir;
  const std::string src = dir.File("WIDE.DBF");
  {
    DBFoxBuild b(src);
    b.AddField("CODIGO", 'C', 6, 0);
    for (int i = 1; i <= 4; ++i) b.AddField("FILL" + std::to_string(i), 'C', 250, 0);
    b.Build();
  }
  std::mt19937 rng(11);
  auto append = [&](dBHandler& t, int count) {
    for (int i = 0; i < count; ++i) {
      t.Blank();
      char code[7];
      std::snprintf(code, sizeof code, "%06u", static_cast<unsigned>(rng() % 1000000));
      t.StringPut(1, code);
      const std::string fill = std::to_string(t.record_count() + 1) + "/" + std::to_string(rng());
      for (int f = 2; f <= 5; ++f) t.StringPut(f, fill + std::string(static_cast<size_t>(f), 'x'));
      if (rng() % 9 == 0) t.record()[0] = '*';
      t.Append();
    }
  };
  {
    dBHandler t(src, "", true, false);
    append(t, 6000);
  }

  struct Case {
    const char* name;
    int sequence;
    const char* filter;   // empty: none
    bool use_deleted;
    const char* password;  // the source's
    int held_appends;      // records appended just before the sort, while the table stays open
  };
  const Case cases[] = {
      {"all, ascending", 2, "", true, "", 0},
      {"all, descending", 3, "", true, "", 0},
      {"sparse filter", 2, "CODIGO < '04'", true, "", 0},
      {"half filter, deleted hidden", 3, "CODIGO < '5'", false, "", 0},
      {"enciphered source", 2, "", false, "k3y", 0},
      {"appends still held", 2, "", true, "", 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dBHandler t(src, "", true, false);
    if (*c.password != 0) t.SetPassword(c.password);
    append(t, c.held_appends);
    if (c.held_appends > 0) {
      ASSERT_GT(t.appended_records_held(), 0);
    }
    t.set_use_deleted(c.use_deleted);
    if (*c.filter != 0) {
      t.SetFilterActive(true);
      t.SetFilter(c.filter, false, false);
    }
    // The model: the visible records' bytes in a stable order of their codes.
    const auto length = static_cast<size_t>(t.record_length());
    std::vector<std::pair<std::string, std::string>> want;  // code, record bytes
    for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) {
      want.emplace_back(t.StringGet(1), std::string(reinterpret_cast<const char*>(t.record()), length));
    }
    std::stable_sort(want.begin(), want.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    if (c.sequence != 2) std::reverse(want.begin(), want.end());
    ASSERT_GT(want.size(), 100u);

    const std::string out = dir.File("SORTED.DBF");
    t.SortFile(out, "", c.sequence, "CODIGO");
    dBHandler sorted(out, "", false, false);
    ASSERT_EQ(sorted.record_count(), static_cast<int32_t>(want.size()));
    for (int32_t n = 1; n <= sorted.record_count(); ++n) {
      sorted.GetRecord(n);
      ASSERT_EQ(std::string(reinterpret_cast<const char*>(sorted.record()), length), want[static_cast<size_t>(n - 1)].second)
          << "record " << n;
    }
    if (*c.password != 0) t.SetPassword("");
  }
}

TEST(SortFileTest, BadKeysFailBeforeAnythingIsWritten) {
  TempDir dir;
  std::string src = MakeTable(dir, {{"R1", 1, "20260101"}});
  dBHandler t(src, "", false, false);
  std::string out = dir.File("OUT.DBF");
  try {
    t.SortFile(out, "", 2, "   ");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Sort key length must be 1-240 bytes, is 0");
  }
  try {
    t.SortFile(out, "", 2, std::string(241, 'A'));
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Sort key length must be 1-240 bytes, is 241");
  }
  EXPECT_THROW(t.SortFile(out, "", 2, "NOSUCHFIELD + 1"), ExpressionError);
  EXPECT_FALSE(platform::FileExists(out));

  // A target held open elsewhere is refused, and left alone.
  testsupport::WriteFileBytes(out, "busy");
  DiskFile holder(out, true, false);
  holder.Open();
  try {
    t.SortFile(out, "", 2, "CODIGO");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()), "SortFile requires full access to file " + out);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(out), "busy");
}

}  // namespace
}  // namespace dbase
