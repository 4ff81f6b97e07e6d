// An index build on a disk whose Nth read, write, fsync, truncate or rename fails, for N = 1, 2,
// ... until the build completes, in every format: the build raises the engine's error, and what
// it leaves is no index file, or one that every open refuses as damaged; never a file that opens
// as a sound index while it lacks keys. The failure points are printed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "index/index_check.h"
#include "index/open_index.h"
#include "index_test_table.h"
#include "support/failure_sweep.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

namespace fs = std::filesystem;

// A table of `count` codes, enough for several levels of pages.
std::string CodeTable(const testsupport::TempDir& dir, int count) {
  std::vector<std::string> records;
  for (int n = 1; n <= count; ++n) {
    std::string code = "K" + std::to_string((n * 7919) % 99991);
    code.resize(10, ' ');
    records.push_back(" " + code);
  }
  const std::string path = dir.File("T.DBF");
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, {{"CODE", 'C', 10}}, records));
  return path;
}

// What a reader finds in the index file: "absent", "refused", or the check's verdict ("" when
// the index is sound and holds exactly the table's keys).
std::string Verdict(const std::string& table_path, const std::string& index_path) {
  if (!fs::exists(index_path)) return "absent";
  TestTable table(table_path);
  std::unique_ptr<IndexFile> file;
  try {
    file = OpenIndex(table, index_path);
  } catch (const EngineError&) {
    return "refused";
  }
  try {
    return CheckIndexFile(*file);
  } catch (const EngineError& e) {
    return std::string("refused while read: ") + e.what();
  }
}

TEST(IndexFailingDiskTest, AFailedBuildLeavesNoIndexThatPassesForWhole) {
  for (const std::string ext : {".ntx", ".ndx", ".mdx", ".cdx"}) {
    SCOPED_TRACE(ext);
    testsupport::TempDir dir;
    const std::string table_path = CodeTable(dir, 3000);
    const std::string index_path = dir.File("T" + ext);
    auto prepare = [&] { fs::remove(index_path); };
    auto run = [&] {
      TestTable table(table_path);
      CreateIndex(table, index_path)->DefineTag(TagDefinition{"CODE", "CODE", "", false, false});
    };
    int refused = 0, absent = 0;
    const testsupport::FailurePoints points = testsupport::SweepFailures(prepare, run, [&](const testsupport::SweepRun& r) {
      const std::string verdict = Verdict(table_path, index_path);
      if (!r.raised) {
        EXPECT_EQ(verdict, "") << (r.fired ? "a failure passed for success" : "the whole run went wrong");
        return;
      }
      EXPECT_EQ(r.os_error, r.kind->error) << r.message;
      if (verdict == "absent") {
        ++absent;
      } else if (verdict.rfind("refused", 0) == 0) {
        ++refused;
      } else {
        EXPECT_EQ(verdict, "") << "a cut build opens as an index";
      }
    });
    std::printf("[ points   ] index build %s: %s; after a failure %d left no file, %d one refused as damaged\n",
                ext.c_str(), points.Describe().c_str(), absent, refused);
    EXPECT_GT(points.total, 5u);
  }
}

}  // namespace
}  // namespace dbase::testing_index
