// NDX and MDX files shared with Free Pascal's TDbf, an independent dBase library driven by a
// small program of ours (tdbf_index.pas, compiled here with fpc): TDbf reads our files in our
// order, and files TDbf writes read here in the order of a tag we build over the same table,
// and pass the structural check. Skipped where fpc or its database units are missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dbf/dbf_build.h"
#include "dbf/dbf_date.h"
#include "index/index_check.h"
#include "index/open_index.h"
#include "index_fixtures.h"
#include "index_test_table.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

// The compiled driver, or "" when it cannot be built here.
std::string Driver(const testsupport::TempDir& dir) {
  const std::string source = (std::filesystem::path(__FILE__).parent_path() / "tdbf_index.pas").string();
  RunCommand("fpc -O1 -FE'" + dir.path() + "' -FU'" + dir.path() + "' '" + source + "' > /dev/null 2>&1");
  const std::string binary = dir.File("tdbf_index");
  return std::filesystem::exists(binary) ? binary : "";
}

// A dBase IV table (with a memo field, as the library expects of tables with a production
// MDX, whose name it derives in lower case): upper-case codes, amounts that are 0 or at least 1.5 away from it (the library's numeric
// MDX keys slip around zero otherwise), dates; the production-index mark set.
std::string MakeTable(const testsupport::TempDir& dir, const std::string& name) {
  const std::string path = dir.File(name);
  {
    DB4Build build(path);
    build.AddField("CODE", 'C', 10, 0);
    build.AddField("AMOUNT", 'N', 9, 2);
    build.AddField("WHEN", 'D', 8, 0);
    build.AddField("NOTE", 'M', 10, 0);
    build.Build();
  }
  {
    dBaseFld table(path, "", true, false);
    for (int n = 1; n <= 2000; ++n) {
      table.Blank();
      table.FieldPutByName("CODE", "C" + std::to_string((n * 7919) % 900));
      table.NumberPutByName("AMOUNT", ((n * 7) % 2001 - 1000) * 1.5);
      table.DatePutByName("WHEN", DBFDate::PartsToJul(1950 + n % 100, 1 + n % 12, 1 + n % 28));
      table.Append();
    }
  }
  std::string bytes = testsupport::ReadFileBytes(path);
  bytes[28] = 1;
  testsupport::WriteFileBytes(path, bytes);
  return path;
}

std::string Records(IndexTag& tag) {
  std::string out;
  for (int32_t r = tag.Position(-3); r != 0; r = tag.Position(-1)) out += std::to_string(r) + "\n";
  return out;
}

const char* const kKeys[] = {"CODE", "AMOUNT", "WHEN"};
// The library makes no date index and does not walk a date tag of an MDX (it reads date NDX
// files).
bool TdbfTakes(const std::string& key) { return key != "WHEN"; }

// Runs the driver, bounded in time.
std::string Tdbf(const std::string& driver, const std::string& arguments) {
  return RunCommand("timeout 120 '" + driver + "' " + arguments + " 2>&1");
}

TEST(InteropTdbfTest, TdbfReadsOurNdxAndMdxFilesInOurOrder) {
  testsupport::TempDir dir;
  const std::string driver = Driver(dir);
  if (driver.empty()) GTEST_SKIP() << "fpc with TDbf (fp-units-db) is not installed";
  const std::string table_path = MakeTable(dir, "ours.dbf");
  std::vector<std::string> ndx_order;
  std::vector<std::string> mdx_order;
  {
    TestTable table(table_path);
    auto mdx = CreateIndex(table, dir.File("ours.mdx"));
    for (const char* key : kKeys) {
      auto ndx = CreateIndex(table, dir.File(std::string(key) + ".NDX"));
      ndx_order.push_back(Records(*ndx->DefineTag(TagDefinition{key, key, "", false, false})));
      mdx_order.push_back(TdbfTakes(key) ? Records(*mdx->DefineTag(TagDefinition{key, key, "", false, false})) : "");
    }
  }
  for (size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(kKeys[k]);
    EXPECT_EQ(FirstDifference(Tdbf(driver, "read '" + table_path + "' " + kKeys[k] + ".NDX"), ndx_order[k]), "");
    if (!TdbfTakes(kKeys[k])) continue;
    EXPECT_EQ(FirstDifference(Tdbf(driver, "read '" + table_path + "' ours.mdx " + kKeys[k]), mdx_order[k]), "");
  }
}

TEST(InteropTdbfTest, FilesTdbfWritesReadHereInTheirOrder) {
  testsupport::TempDir dir;
  const std::string driver = Driver(dir);
  if (driver.empty()) GTEST_SKIP() << "fpc with TDbf (fp-units-db) is not installed";
  const std::string table_path = MakeTable(dir, "theirs.dbf");
  for (const char* key : kKeys) {
    if (!TdbfTakes(key)) continue;
    Tdbf(driver, "write '" + table_path + "' " + key + ".NDX " + key);
    Tdbf(driver, "write '" + table_path + "' " + key + " " + key);
  }
  TestTable table(table_path);
  auto mdx = OpenIndex(table, dir.File("theirs.mdx"));
  EXPECT_EQ(mdx->tag_count(), 2);
  EXPECT_EQ(CheckIndexFile(*mdx), "");
  for (const char* key : kKeys) {
    if (!TdbfTakes(key)) continue;
    SCOPED_TRACE(key);
    auto ndx = OpenIndex(table, dir.File(std::string(key) + ".NDX"));
    EXPECT_EQ(CheckIndexFile(*ndx), "");
    auto ours = CreateIndex(table, dir.File(std::string("OURS_") + key + ".NDX"));
    const std::string want = Records(*ours->DefineTag(TagDefinition{key, key, "", false, false}));
    EXPECT_EQ(FirstDifference(Records(*ndx->tag(0)), want), "");
    IndexTag* tag = mdx->FindTag(key);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(FirstDifference(Records(*tag), want), "");
  }
}

}  // namespace
}  // namespace dbase::testing_index
