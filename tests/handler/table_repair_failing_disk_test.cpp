// The repair on a failing disk: a damaged table in each memo dialect repaired again and again with
// one file call failing each time (every read, write, fsync, truncate and rename in turn). Each
// run must leave the damaged table as it was or the repaired one, whole; backups only whole
// (the damaged files byte for byte), and no partial or temporary file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "dbf/dbase_fld.h"
#include "dbf/errors.h"
#include "dbf/table_check.h"
#include "handler/table_repair.h"
#include "support/failure_sweep.h"
#include "support/memo_tables.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::FilesIn;
using testsupport::ReadFileBytes;
using testsupport::SweepRun;
using testsupport::WriteFileBytes;

// Every record with its memo text ("?" when it cannot be read); empty when the table does not open.
std::vector<std::string> View(const std::string& table) {
  std::vector<std::string> rows;
  try {
    dBaseFld t(table, "", false, false);
    for (int32_t n = 1; n <= t.record_count(); ++n) {
      t.GetRecord(n);
      std::string row = std::string(t.deleted() ? "*" : " ") + t.FieldGet(1) + t.FieldGet(2);
      try {
        row += t.MemoRead(3);
      } catch (const EngineError&) {
        row += "?";
      }
      rows.push_back(row);
    }
  } catch (const EngineError&) {
    rows.clear();
  }
  return rows;
}

class RepairFailingDiskTest : public ::testing::TestWithParam<int> {};

TEST_P(RepairFailingDiskTest, EveryFailurePointLeavesTheDamagedOrTheRepairedTable) {
  testsupport::TempDir dir;
  const std::string table = dir.File("T.DBF");
  const std::string memo = dir.File(GetParam() == 3 ? "T.FPT" : "T.DBT");
  testsupport::MakeMemoTable(table, GetParam(), 7, "R", [](int i) { return "memo " + std::to_string(i); });
  // Damage: the header counts 20 records, record 2's memo lies past the end of the memo file.
  std::string t = ReadFileBytes(table);
  t[4] = 20;
  const size_t header_length = static_cast<uint8_t>(t[8]) | static_cast<uint8_t>(t[9]) << 8;
  t.replace(header_length + 25 + 15, 10, "     99999");
  const std::string m = ReadFileBytes(memo);
  auto prepare = [&] {
    for (const std::string& name : FilesIn(dir.path())) std::remove(dir.File(name).c_str());
    WriteFileBytes(table, t);
    WriteFileBytes(memo, m);
  };
  auto run = [&] { RepairTable(table, "", {}, CheckTable(table, "", {})); };

  prepare();
  const std::vector<std::string> damaged = View(table);
  ASSERT_EQ(damaged.size(), 7u);
  run();
  const std::vector<std::string> repaired = View(table);
  ASSERT_TRUE(CheckTableFiles(table, "").sound());
  ASSERT_EQ(repaired.size(), 7u);
  EXPECT_EQ(repaired[1], damaged[1].substr(0, damaged[1].size() - 1));  // the memo cleared
  const std::set<std::string> allowed = {"T.DBF", "T.BAK", memo.substr(dir.path().size() + 1), "T.TBK"};

  const testsupport::FailurePoints points = testsupport::SweepFailures(prepare, run, [&](const SweepRun& r) {
    const bool is_damaged = ReadFileBytes(table) == t && ReadFileBytes(memo) == m;
    const bool is_repaired = View(table) == repaired && CheckTableFiles(table, "").sound();
    if (r.raised) {
      EXPECT_EQ(r.os_error, r.kind->error) << r.message;
      EXPECT_TRUE(is_damaged || is_repaired) << "neither the damaged nor the repaired table";
    } else {
      EXPECT_TRUE(is_repaired) << (r.fired ? "a failure passed for success" : "the whole run went wrong");
    }
    for (const std::string& name : FilesIn(dir.path())) {
      EXPECT_TRUE(allowed.count(name)) << "left behind: " << name;
    }
    // A backup that is there is whole.
    if (std::filesystem::exists(dir.File("T.BAK"))) {
      EXPECT_EQ(ReadFileBytes(dir.File("T.BAK")), t);
    }
    if (std::filesystem::exists(dir.File("T.TBK"))) {
      EXPECT_EQ(ReadFileBytes(dir.File("T.TBK")), m);
    }
  });
  std::printf("[ points   ] dialect %d, repair: %s\n", GetParam(), points.Describe().c_str());
  EXPECT_GT(points.total, 20u);
}

INSTANTIATE_TEST_SUITE_P(MemoDialects, RepairFailingDiskTest, ::testing::Values(1, 2, 3));

}  // namespace
}  // namespace dbase
