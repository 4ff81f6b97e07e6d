// Index files written by other dBase programs: every tag's entries, in the tag's order, equal
// the fixture's dump byte for byte, and every recorded seek lands where the writer's did.
#include <gtest/gtest.h>

#include <filesystem>

#include "dbf/dbf_date.h"
#include "index/open_index.h"
#include "index_fixtures.h"
#include "index_test_table.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

using FixtureCase = FixtureIndex;

std::string SeekResult(bool found, bool eof, int32_t recno) {
  return std::string("found=") + (found ? "T" : "F") + " eof=" + (eof ? "T" : "F") + " recno=" + std::to_string(recno);
}

// Runs a recorded seek as the writer did: a hard seek that finds nothing goes to the end.
std::string RunSeek(IndexTag& tag, const FixtureSeek& s, int32_t records) {
  Value v;
  const std::string text = s.value.substr(2);
  if (s.value[0] == 'C') {
    v.SetText(Unhex(text));
  } else if (s.value[0] == 'N') {
    v.SetNumber(std::stod(text));
  } else {
    v.SetDate(text == "empty" ? 0 : DBFDate::Shared().TextToJul(text));
  }
  const std::string key = tag.SearchKeyOf(v);
  const int32_t r = s.last ? tag.SeekLast(key) : tag.Seek(key);
  if (tag.found()) return SeekResult(true, false, r);
  if (!s.soft || tag.eof()) return SeekResult(false, true, records + 1);
  return SeekResult(false, false, tag.record());
}

class FixtureReadTest : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureReadTest, DumpAndSeeksMatchTheWriter) {
  const std::string dir = FixtureDir();
  if (dir.empty()) GTEST_SKIP() << "index fixtures not found";
  const FixtureCase& c = GetParam();
  const std::string folder = dir + "/" + c.folder + "/";
  // A private copy: other test processes open the same fixtures, and an exclusive open of the
  // fixture itself would be refused while one of them holds it.
  testsupport::TempDir temp;
  const std::string stem = c.table.substr(0, c.table.rfind('.'));
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name == c.index || name.rfind(stem + ".", 0) == 0) std::filesystem::copy_file(entry.path(), temp.File(name));
  }
  TestTable table(temp.File(c.table));
  auto file = OpenIndex(table, temp.File(c.index));
  const std::vector<FixtureTag> expected = ReadFixtureDump(folder + c.index + ".txt");
  ASSERT_EQ(file->tag_count(), static_cast<int>(expected.size()));
  for (const FixtureTag& want : expected) {
    SCOPED_TRACE(c.index + " tag " + want.name);
    IndexTag* tag = file->FindTag(want.name);
    if (tag == nullptr && file->tag_count() == 1) tag = file->tag(0);
    ASSERT_NE(tag, nullptr);
    if (!want.key.empty()) {
      EXPECT_EQ(tag->key_expression(), want.key);
    }
    EXPECT_EQ(tag->for_expression(), want.for_expression);
    EXPECT_EQ(tag->unique(), want.unique);
    EXPECT_EQ(tag->descending(), want.descending);
    EXPECT_EQ(DumpTag(*tag), want.dump);
    for (const FixtureSeek& s : want.seeks) {
      SCOPED_TRACE(s.value + (s.soft ? " soft" : "") + (s.last ? " last" : ""));
      EXPECT_EQ(RunSeek(*tag, s, table.record_count()), SeekResult(s.found, s.eof, s.recno));
    }
  }
}

// A shared open re-reads the pages of its path before every step (another process may write):
// the walk must go on from the entry it stood on, also where the stored order is not the order
// of values (the MDX writer's numeric keys around zero), where seeking the entry again by value
// would land elsewhere and drop keys.
TEST_P(FixtureReadTest, SharedOpenWalksEveryKey) {
  const std::string dir = FixtureDir();
  if (dir.empty()) GTEST_SKIP() << "index fixtures not found";
  const FixtureCase& c = GetParam();
  const std::string folder = dir + "/" + c.folder + "/";
  TestTable table(folder + c.table, false, true);
  auto file = OpenIndex(table, folder + c.index);
  for (const FixtureTag& want : ReadFixtureDump(folder + c.index + ".txt")) {
    SCOPED_TRACE(c.index + " tag " + want.name);
    IndexTag* tag = file->FindTag(want.name);
    if (tag == nullptr && file->tag_count() == 1) tag = file->tag(0);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(FirstDifference(DumpTag(*tag), want.dump), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Files, FixtureReadTest, ::testing::ValuesIn(FixtureIndexes()),
                         [](const ::testing::TestParamInfo<FixtureCase>& param) { return FixtureTestName(param.param); });

}  // namespace
}  // namespace dbase::testing_index
