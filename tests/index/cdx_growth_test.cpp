// A CDX tag on a table that grows across 65,535 records: leaves written after that take wider
// entries (24 record-number bits in 4 bytes for a 10-byte key), the tag stays sound, and it lists
// what a tag built at once over the grown table lists, whose leaves all have the wider entries.
#include <gtest/gtest.h>

#include <random>

#include "index/index_check.h"
#include "index/open_index.h"
#include "index_fixtures.h"
#include "index_test_table.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

TEST(CdxGrowthTest, LeavesWidenWhenRecordNumbersOutgrowThem) {
  testsupport::TempDir dir;
  const std::string table_path = dir.File("GROW.DBF");
  testsupport::WriteFileBytes(table_path, testsupport::TableBytes(0x03, {{"CODE", 'C', 10}}, {}));
  std::string grown_dump;
  {
    TestTable table(table_path, true, false);
    auto file = CreateIndex(table, dir.File("GROW.cdx"));
    file->DefineTag(TagDefinition{"CODE", "CODE", "", false, false});
    table.attached.push_back(file.get());
    std::mt19937 rng(7);
    for (int n = 1; n <= 70000; ++n) {
      std::string code = std::to_string(rng() % 100000);
      code.resize(10, ' ');
      table.Blank();
      table.FieldPutByName("CODE", code);
      table.Append();
    }
    EXPECT_EQ(CheckIndexFile(*file), "");
    grown_dump = DumpTag(*file->tag(0));
  }
  TestTable table(table_path);
  auto built = CreateIndex(table, dir.File("BUILT.cdx"));
  IndexTag* tag = built->DefineTag(TagDefinition{"CODE", "CODE", "", false, false});
  const size_t tag_header = tag->header_ref();
  EXPECT_EQ(FirstDifference(DumpTag(*tag), grown_dump), "");
  EXPECT_EQ(CheckIndexFile(*built), "");
  built.reset();
  const std::string bytes = testsupport::ReadFileBytes(dir.File("BUILT.cdx"));
  int leaves = 0;
  for (size_t node = 1536; node + 512 <= bytes.size(); node += 512) {
    const int attributes = static_cast<unsigned char>(bytes[node]);
    if (attributes < 2 || attributes > 3 || node == 1024 || node == tag_header || node == tag_header + 512) continue;
    ++leaves;
    EXPECT_EQ(bytes[node + 23], 4) << "node " << node;
    EXPECT_EQ(bytes[node + 20], 24) << "node " << node;
  }
  EXPECT_GT(leaves, 100);
}

}  // namespace
}  // namespace dbase::testing_index
