// Index files written here read by Perl XBase, an independent reader: every tag lists the same
// records in the same order (text keys compared too), in NTX, NDX, MDX and CDX files. Perl XBase
// repeats some branch entries of multi-level NTX files; a record it lists again is counted once.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "index/open_index.h"
#include "index_fixtures.h"
#include "index_test_table.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

bool HavePerlXBase() { return RunCommand("perl -MXBase::Index -e 'print 1' 2>/dev/null") == "1"; }

// Records 1..3000: codes with many repeats, amounts with negatives, dates.
std::string MakeTable(const testsupport::TempDir& dir) {
  std::vector<std::string> records;
  for (int n = 1; n <= 3000; ++n) {
    std::string code = "C" + std::to_string((n * 7919) % 1500);
    code.resize(10, ' ');
    char amount[16];
    std::snprintf(amount, sizeof amount, "%9.2f", ((n * 104729) % 200001 - 100000) / 100.0);
    const int day = 1 + n % 28;
    const int month = 1 + n % 12;
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", 1950 + n % 100, month, day);
    records.push_back(" " + code + amount + date);
  }
  const std::string path = dir.File("XB.DBF");
  testsupport::WriteFileBytes(
      path, testsupport::TableBytes(0x03, {{"CODE", 'C', 10}, {"AMOUNT", 'N', 9, 2}, {"WHEN", 'D', 8}}, records));
  return path;
}

// Our entries in order: records, and for text keys the key without trailing blanks.
std::string Ours(IndexTag& tag) {
  std::string out;
  for (int32_t r = tag.Position(-3); r != 0; r = tag.Position(-1)) {
    std::string key = tag.key_type() == 'C' ? tag.current_key() : "";
    while (!key.empty() && key.back() == ' ') key.pop_back();
    out += std::to_string(r) + (tag.key_type() == 'C' ? "\t" + key : "") + "\n";
  }
  return out;
}

// Perl XBase's entries, each record once, keys kept for text tags only.
std::string Theirs(const std::string& file, char type, const std::string& tag) {
  const std::string script = (std::filesystem::path(__FILE__).parent_path() / "index_read_xbase.pl").string();
  std::istringstream in(RunCommand("perl '" + script + "' '" + file + "' " + type + " " + tag + " 2>&1"));
  std::string line;
  std::string out;
  std::set<std::string> seen;
  while (std::getline(in, line)) {
    const std::string record = line.substr(0, line.find('\t'));
    if (!seen.insert(record).second) continue;
    out += (type == 'C' ? line : record) + "\n";
  }
  return out;
}

TEST(InteropXBaseTest, PerlXBaseReadsOurFilesInOurOrder) {
  if (!HavePerlXBase()) GTEST_SKIP() << "Perl XBase (libdbd-xbase-perl) is not installed";
  testsupport::TempDir dir;
  TestTable table(MakeTable(dir));
  for (const std::string ext : {".ntx", ".ndx", ".mdx", ".cdx"}) {
    for (const std::string key : {"CODE", "AMOUNT", "WHEN"}) {
      // The reader takes no date type for CDX files.
      if (ext == ".cdx" && key == "WHEN") continue;
      SCOPED_TRACE(ext + " " + key);
      const std::string path = dir.File(key + ext);
      auto file = CreateIndex(table, path);
      IndexTag* tag = file->DefineTag(TagDefinition{key, key, "", false, false});
      const std::string ours = Ours(*tag);
      const char type = tag->key_type();
      file.reset();
      const bool multi = ext == ".mdx" || ext == ".cdx";
      EXPECT_EQ(FirstDifference(Theirs(path, type, multi ? key : ""), ours), "");
    }
  }
}

}  // namespace
}  // namespace dbase::testing_index
