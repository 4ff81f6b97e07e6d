// Tags built here over the fixture tables with the fixtures' key and FOR expressions list the
// same keys in the same order as the files other programs wrote, and pass the structural check.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "index/index_check.h"
#include "index/open_index.h"
#include "index_fixtures.h"
#include "index_test_table.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

struct BuildCase {
  std::string folder;
  std::string table;
  std::string index;  // the fixture whose tags are rebuilt
  std::string extension;
};

class FixtureBuildTest : public ::testing::TestWithParam<BuildCase> {};

TEST_P(FixtureBuildTest, BuiltTagsListTheFixturesKeys) {
  const std::string dir = FixtureDir();
  if (dir.empty()) GTEST_SKIP() << "index fixtures not found";
  const BuildCase& c = GetParam();
  testsupport::TempDir temp;
  const std::string table_path = temp.File(c.table);
  std::filesystem::copy_file(dir + "/" + c.folder + "/" + c.table, table_path);
  TestTable table(table_path);
  std::vector<FixtureTag> expected = ReadFixtureDump(dir + "/" + c.folder + "/" + c.index + ".txt");
  FillExpressionsFromWalk(dir + "/" + c.folder + "/" + c.index + ".recnos.txt", expected);
  // The MDX writer's numeric keys carry float noise and slip around zero; that tag is checked
  // against the order of values below instead.
  std::erase_if(expected, [&](const FixtureTag& t) { return c.extension == ".mdx" && t.name == "AMOUNT"; });
  // Multi-tag formats get every tag in one file; single-tag formats a file per tag.
  const bool multi = c.extension == ".cdx" || c.extension == ".mdx";
  std::unique_ptr<IndexFile> file;
  for (const FixtureTag& want : expected) {
    SCOPED_TRACE(c.index + " tag " + want.name);
    const std::string path = temp.File((multi ? "TAGS" : want.name) + c.extension);
    if (!multi || !file) file = CreateIndex(table, path);
    IndexTag* tag = file->DefineTag(TagDefinition{want.name, want.key, want.for_expression, want.unique, want.descending});
    EXPECT_EQ(FirstDifference(DumpTag(*tag), want.dump), "");
    EXPECT_EQ(CheckIndexTag(*tag), "");
    if (multi) continue;
    file.reset();
    auto reopened = OpenIndex(table, path);
    EXPECT_EQ(FirstDifference(DumpTag(*reopened->tag(0)), want.dump), "");
  }
  if (!multi) return;
  file.reset();
  auto reopened = OpenIndex(table, temp.File("TAGS" + c.extension));
  ASSERT_EQ(reopened->tag_count(), static_cast<int>(expected.size()));
  EXPECT_EQ(CheckIndexFile(*reopened), "");
  for (const FixtureTag& want : expected) {
    SCOPED_TRACE("reopened tag " + want.name);
    IndexTag* tag = reopened->FindTag(want.name);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(FirstDifference(DumpTag(*tag), want.dump), "");
  }
}

// Records in the order of their numeric keys: the NDX fixture of the same table (doubles, no
// noise) gives it.
std::string RecordOrder(const std::string& dump) {
  std::string order;
  std::istringstream in(dump);
  std::string line;
  while (std::getline(in, line)) order += line.substr(0, line.find('\t')) + " ";
  return order;
}

TEST(FixtureBuildMdxTest, NumericKeysFollowTheOrderOfValues) {
  const std::string dir = FixtureDir();
  if (dir.empty()) GTEST_SKIP() << "index fixtures not found";
  testsupport::TempDir temp;
  std::filesystem::copy_file(dir + "/ndx-mdx/dbmdx.dbf", temp.File("dbmdx.dbf"));
  TestTable table(temp.File("dbmdx.dbf"));
  auto file = CreateIndex(table, temp.File("AMOUNTS.mdx"));
  IndexTag* tag = file->DefineTag(TagDefinition{"AMOUNT", "AMOUNT", "", false, false});
  const std::vector<FixtureTag> by_value = ReadFixtureDump(dir + "/ndx-mdx/dbamount.ndx.txt");
  ASSERT_EQ(by_value.size(), 1u);
  EXPECT_EQ(RecordOrder(DumpTag(*tag)), RecordOrder(by_value[0].dump));
  // 99999.99 as the packed decimal of its value, without noise.
  ASSERT_NE(tag->Seek(tag->SearchKeyOf(tag->ValueFromText("99999.99"))), 0);
  EXPECT_EQ(Hex(tag->current_key()), "392199999990000000000000");
}

INSTANTIATE_TEST_SUITE_P(Files, FixtureBuildTest,
                         ::testing::Values(BuildCase{"ntx-cdx", "fxntx.dbf", "fcode.ntx", ".ntx"},
                                           BuildCase{"ntx-cdx", "fxntx.dbf", "famount.ntx", ".ntx"},
                                           BuildCase{"ntx-cdx", "fxntx.dbf", "fwhen.ntx", ".ntx"},
                                           BuildCase{"ntx-cdx", "fxntx.dbf", "fnamewhen.ntx", ".ntx"},
                                           BuildCase{"ntx-cdx", "fxntx.dbf", "funiq.ntx", ".ntx"},
                                           BuildCase{"ntx-cdx", "fxntx.dbf", "ffor.ntx", ".ntx"},
                                           BuildCase{"ntx-cdx", "fxbig.dbf", "fxbig.ntx", ".ntx"},
                                           BuildCase{"ndx-mdx", "dbndx.dbf", "dbcode.ndx", ".ndx"},
                                           BuildCase{"ndx-mdx", "dbndx.dbf", "dbamount.ndx", ".ndx"},
                                           BuildCase{"ndx-mdx", "dbndx.dbf", "dbnameqty.ndx", ".ndx"},
                                           BuildCase{"ntx-cdx", "fxcdx.dbf", "fxcdx.cdx", ".cdx"},
                                           BuildCase{"ntx-cdx", "fxbig.dbf", "fxbig.cdx", ".cdx"},
                                           BuildCase{"ndx-mdx", "dbmdx.dbf", "dbmdx.mdx", ".mdx"}),
                         [](const ::testing::TestParamInfo<BuildCase>& p) {
                           std::string name = p.param.index + p.param.extension;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace dbase::testing_index
