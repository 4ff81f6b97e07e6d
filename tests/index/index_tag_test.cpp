// Tags of every format: partial and exact seeks, the ends of the tag, ranges with excluded
// bounds walked both ways in ascending and descending tags, key forms and page sizes, and the
// status reports of a build.
#include <gtest/gtest.h>

#include <algorithm>

#include "dbf/dbf_date.h"
#include "index/index_check.h"
#include "index/open_index.h"
#include "index_fixtures.h"
#include "index_test_table.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

const std::vector<std::string> kFormats = {".ntx", ".ndx", ".mdx", ".cdx"};

// CODE C 10 with the given codes, one record each.
std::string CodeTable(const testsupport::TempDir& dir, const std::vector<std::string>& codes) {
  std::vector<std::string> records;
  for (std::string code : codes) {
    code.resize(10, ' ');
    records.push_back(" " + code);
  }
  const std::string path = dir.File("CODES.DBF");
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, {{"CODE", 'C', 10}}, records));
  return path;
}

IndexTag* Define(IndexFile& file, bool descending = false) {
  return file.DefineTag(TagDefinition{"CODE", "CODE", "", false, descending});
}

Value Text(const std::string& s) {
  Value v;
  v.SetText(s);
  return v;
}

TEST(IndexTagTest, SeeksMatchPartiallyUnlessTheTableAsksForExactKeys) {
  for (const std::string& ext : kFormats) {
    SCOPED_TRACE(ext);
    testsupport::TempDir dir;
    TestTable table(CodeTable(dir, {"SMYTHE", "ADAMS", "SMITH", "ZED", "SMI"}));
    auto file = CreateIndex(table, dir.File("CODE" + ext));
    IndexTag* tag = Define(*file);
    EXPECT_EQ(tag->Seek("SMI"), 5);  // the key SMI itself sorts first
    EXPECT_EQ(tag->Seek("SMIT"), 3);
    EXPECT_EQ(tag->Seek("SMJ"), 0);
    EXPECT_FALSE(tag->found());
    EXPECT_EQ(tag->record(), 1);  // on the next higher key
    table.set_exact_search(true);
    EXPECT_EQ(tag->Seek("SMIT"), 0);
    EXPECT_EQ(tag->record(), 3);
    EXPECT_EQ(tag->Seek("SMI"), 5);
    EXPECT_EQ(tag->Seek("ZZ"), 0);
    EXPECT_TRUE(tag->eof());
    table.set_exact_search(false);
    // The ends: next after the last entry and previous before the first.
    EXPECT_EQ(tag->Position(-4), 4);
    EXPECT_EQ(tag->Position(-1), 0);
    EXPECT_TRUE(tag->eof());
    EXPECT_EQ(tag->Position(-2), 4);  // back from the end
    EXPECT_EQ(tag->Position(-3), 2);
    EXPECT_EQ(tag->Position(-2), 0);
    EXPECT_TRUE(tag->bof());
    EXPECT_EQ(tag->Position(-1), 2);
  }
}

// Records a walk visits, forwards from first or backwards from last.
std::vector<int32_t> Walk(IndexTag& tag, bool forward) {
  std::vector<int32_t> out;
  for (int32_t r = tag.Position(forward ? -3 : -4); r != 0; r = tag.Position(forward ? -1 : -2)) out.push_back(r);
  return out;
}

TEST(IndexTagTest, RangesKeepEveryWalkInsideTheirBounds) {
  std::vector<std::string> codes;
  for (int n = 0; n < 300; ++n) codes.push_back("C" + std::to_string(100 + (n * 37) % 300));
  struct Range {
    std::string low, high;
    bool exclude_low, exclude_high;
  };
  const std::vector<Range> ranges = {{"C150", "C160", false, false}, {"C150", "C160", true, true},
                                     {"C15", "C16", false, false},   {"C15", "C16", true, false},
                                     {"", "C105", false, false},     {"C395", "", false, true},
                                     {"D", "", false, false}};
  for (const std::string& ext : kFormats) {
    for (bool descending : {false, true}) {
      if (descending && ext == ".ndx") continue;  // the format has no order of its own
      SCOPED_TRACE(ext + (descending ? " descending" : ""));
      testsupport::TempDir dir;
      TestTable table(CodeTable(dir, codes));
      auto file = CreateIndex(table, dir.File("CODE" + ext));
      IndexTag* tag = Define(*file, descending);
      const std::vector<int32_t> all = Walk(*tag, true);
      ASSERT_EQ(all.size(), codes.size());
      for (const Range& r : ranges) {
        SCOPED_TRACE(r.low + ".." + r.high);
        // Expected: the whole walk filtered by the bounds, compared over each bound's length.
        std::vector<int32_t> want;
        for (int32_t rec : all) {
          const std::string code = codes[static_cast<size_t>(rec - 1)];
          const std::string low = code.substr(0, r.low.size());
          const std::string high = code.substr(0, r.high.size());
          if (!r.low.empty() && (r.exclude_low ? low <= r.low : low < r.low)) continue;
          if (!r.high.empty() && (r.exclude_high ? high >= r.high : high > r.high)) continue;
          want.push_back(rec);
        }
        tag->SetRange(Text(r.low), Text(r.high), r.exclude_low, r.exclude_high);
        EXPECT_EQ(Walk(*tag, true), want);
        std::reverse(want.begin(), want.end());
        EXPECT_EQ(Walk(*tag, false), want);
        if (want.empty()) {
          EXPECT_EQ(tag->Position(-3), 0);
          EXPECT_TRUE(tag->eof());
        }
      }
      tag->ClearRange();
      EXPECT_EQ(Walk(*tag, true), all);
    }
  }
}

std::string KeyOf(IndexTag& tag, const Value& v) { return Hex(tag.ConvertKey(v, false)); }

TEST(IndexTagTest, KeyFormsAndPageSizesOfEachFormat) {
  testsupport::TempDir dir;
  const std::string path = dir.File("FORMS.DBF");
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03,
                                                            {{"C10", 'C', 10}, {"C11", 'C', 11}, {"C13", 'C', 13},
                                                             {"AMOUNT", 'N', 5, 1}, {"WHEN", 'D', 8}},
                                                            {" " + std::string(34, ' ') + "  1.519991231"}));
  TestTable table(path);
  auto tag_of = [&](const std::string& ext, const std::string& key) {
    static std::vector<std::unique_ptr<IndexFile>> files;
    files.push_back(CreateIndex(table, dir.File(key + std::to_string(files.size()) + ext)));
    return files.back()->DefineTag(TagDefinition{key, key, "", false, false});
  };
  Value n;
  Value empty_date;
  empty_date.SetDate(0);

  IndexTag* ntx_n = tag_of(".ntx", "AMOUNT");
  n.SetNumber(1.5);
  EXPECT_EQ(ntx_n->ConvertKey(n, false), "001.5");
  n.SetNumber(-1.5);
  EXPECT_EQ(ntx_n->ConvertKey(n, false), ",,+.'");
  n.SetNumber(-0.1);
  EXPECT_LT(ntx_n->ConvertKey(n, false), "000.0");  // every negative below every positive
  IndexTag* ntx_d = tag_of(".ntx", "WHEN");
  EXPECT_EQ(ntx_d->ConvertKey(empty_date, false), "        ");  // what other programs store and seek
  IndexTag* ntx_c = tag_of(".ntx", "C10");
  EXPECT_EQ(ntx_c->max_keys(), 50);

  IndexTag* ndx_c10 = tag_of(".ndx", "C10");
  IndexTag* ndx_c13 = tag_of(".ndx", "C13");
  EXPECT_EQ(ndx_c10->max_keys(), 25);
  EXPECT_EQ(tag_of(".ndx", "C11")->max_keys(), 25);
  EXPECT_EQ(ndx_c13->max_keys(), 21);
  EXPECT_EQ(tag_of(".ndx", "AMOUNT")->max_keys(), 25);
  IndexTag* ndx_d = tag_of(".ndx", "WHEN");
  EXPECT_EQ(ndx_d->max_keys(), 31);
  EXPECT_EQ(KeyOf(*ndx_d, empty_date), "7dc39425ad49b254");  // 1e100: after every date

  IndexTag* mdx_n = tag_of(".mdx", "AMOUNT");
  n.SetNumber(123.45);
  EXPECT_EQ(KeyOf(*mdx_n, n), "371912345000000000000000");
  n.SetNumber(0);
  EXPECT_EQ(KeyOf(*mdx_n, n), "340100000000000000000000");
  n.SetNumber(-0.01);
  EXPECT_EQ(KeyOf(*mdx_n, n), "338910000000000000000000");
  EXPECT_EQ(tag_of(".mdx", "C10")->max_keys(), 62);
  EXPECT_EQ(tag_of(".mdx", "WHEN")->max_keys(), 83);

  IndexTag* cdx_n = tag_of(".cdx", "AMOUNT");
  n.SetNumber(999999.99);
  EXPECT_EQ(KeyOf(*cdx_n, n), "c12e847ffae147ae");
  n.SetNumber(-0.01);
  EXPECT_EQ(KeyOf(*cdx_n, n), "407b851eb851eb84");
  IndexTag* cdx_d = tag_of(".cdx", "WHEN");
  EXPECT_EQ(KeyOf(*cdx_d, empty_date), "8000000000000000");
  Value day;
  day.SetDate(DBFDate::Shared().TextToJul("19700402"));
  EXPECT_EQ(KeyOf(*cdx_d, day), "c1429ef380000000");
}

TEST(IndexTagTest, BuildsReportCollectingAndWriting) {
  testsupport::TempDir dir;
  TestTable table(CodeTable(dir, {"B", "A", "C"}));
  table.keep_reports = true;
  auto file = CreateIndex(table, dir.File("CODE.ntx"));
  Define(*file);
  const std::vector<std::array<int, 3>> want = {{-1, 1, 3}, {1, 1, 0}, {1, 2, 0}, {1, 3, 0}, {0, 0, 0},
                                                {-1, 2, 3}, {2, 1, 0}, {2, 2, 0}, {2, 3, 0}, {0, 0, 0}};
  EXPECT_EQ(table.reports, want);
}

TEST(IndexTagTest, EmptyTablesGetAHeaderAndAnEmptyRoot) {
  const std::vector<std::pair<std::string, int>> sizes = {{".ntx", 2048}, {".ndx", 1024}};
  for (const auto& [ext, size] : sizes) {
    testsupport::TempDir dir;
    TestTable table(CodeTable(dir, {}));
    auto file = CreateIndex(table, dir.File("CODE" + ext));
    IndexTag* tag = Define(*file);
    EXPECT_EQ(tag->Position(-3), 0);
    file.reset();
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File("CODE" + ext)).size(), static_cast<size_t>(size)) << ext;
  }
}

}  // namespace
}  // namespace dbase::testing_index
