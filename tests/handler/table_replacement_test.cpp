// Whole-file replacement: the commit and its recovery, work folders in use, copy targets held
// elsewhere, and a bad memo reference that stops a rewrite. The whole-table operations on a
// failing disk are swept in failing_disk_test.cpp.
#include "dbf/table_replacement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "support/memo_tables.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

namespace fs = std::filesystem;
using testsupport::FilesIn;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// `count` records with a memo each (every third one empty), the fourth one deleted.
void MakeTable(const std::string& path, int dialect, int count, const std::string& tag) {
  testsupport::MakeMemoTable(path, dialect, count, tag, [&](int i) -> std::string {
    return i % 3 == 0 ? "" : "memo " + tag + std::to_string(i) + std::string(static_cast<size_t>(i) * 30, '.');
  });
}

// Every record of the file (deleted ones too) with its memo, or the error that stops reading it.
std::vector<std::string> Contents(const std::string& path, const std::string& password) {
  std::vector<std::string> rows;
  try {
    dBHandler t(path, password, false, false);
    for (int32_t n = 1; n <= t.record_count(); ++n) {
      t.GetRecord(n);
      rows.push_back(std::string(t.deleted() ? "*" : " ") + t.StringGet(1) + "|" + t.StringGet(2) + "|" + t.StringGet(3));
    }
  } catch (const EngineError& e) {
    rows = {std::string("error: ") + e.what()};
  }
  return rows;
}

// A commit cut short after its marker: the next open finishes it, memo file first or not.
TEST(TableReplacementTest, AnOpenFinishesACommitCutShortAndDropsAbandonedWork) {
  TempDir dir;
  const std::string table = dir.File("T.DBF");
  MakeTable(table, 3, 5, "old");
  MakeTable(dir.File("NEW.DBF"), 3, 2, "new");
  const std::vector<std::string> new_rows = Contents(dir.File("NEW.DBF"), "");
  const std::string work = TableReplacement::WorkFolder(table);
  for (bool memo_moved : {false, true}) {
    SCOPED_TRACE(memo_moved);
    MakeTable(table, 3, 5, "old");
    fs::create_directory(work);
    fs::copy_file(dir.File("NEW.DBF"), work + "/T.DBF");
    fs::copy_file(dir.File("NEW.FPT"), memo_moved ? dir.File("T.FPT") : work + "/T.FPT",
                  fs::copy_options::overwrite_existing);
    WriteFileBytes(TableReplacement::MarkerPath(table), "T.FPT\tT.FPT\nT.DBF\tT.DBF\n");
    EXPECT_EQ(Contents(table, ""), new_rows);
    EXPECT_FALSE(fs::exists(work));
    EXPECT_FALSE(fs::exists(TableReplacement::MarkerPath(table)));
  }
  // Without a marker nothing was committed: the old table stays, the work folder goes.
  MakeTable(table, 3, 5, "old");
  const std::vector<std::string> old_rows = Contents(table, "");
  fs::create_directory(work);
  fs::copy_file(dir.File("NEW.FPT"), work + "/T.FPT");
  WriteFileBytes(TableReplacement::MarkerPath(table) + "~", "T.FPT\tT.");  // killed while written
  EXPECT_EQ(Contents(table, ""), old_rows);
  EXPECT_FALSE(fs::exists(work));
  EXPECT_FALSE(fs::exists(TableReplacement::MarkerPath(table) + "~"));
}

TEST(TableReplacementTest, AWorkFolderInUseIsNeitherTakenNorRemoved) {
  TempDir dir;
  const std::string table = dir.File("T.DBF");
  MakeTable(table, 1, 3, "a");
  TableReplacement first(table, false);
  try {
    TableReplacement second(table, false);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.number(), kCreateError);
  }
  dBHandler open(table, "", false, true);  // an open in between leaves the work folder alone
  EXPECT_TRUE(fs::exists(TableReplacement::WorkFolder(table)));
}

// A copy onto a table another handle has open is refused and changes nothing.
TEST(TableReplacementTest, ACopyTargetOpenElsewhereIsRefusedAndKept) {
  TempDir dir;
  MakeTable(dir.File("SRC.DBF"), 3, 4, "s");
  MakeTable(dir.File("TGT.DBF"), 3, 2, "t");
  const std::string before = ReadFileBytes(dir.File("TGT.DBF"));
  dBHandler reader(dir.File("TGT.DBF"), "", false, true);
  dBHandler source(dir.File("SRC.DBF"), "", false, true);
  try {
    source.CopyFile(dir.File("TGT.DBF"), "");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), ("Could not create file " + dir.File("TGT.DBF")).c_str());
  }
  EXPECT_EQ(ReadFileBytes(dir.File("TGT.DBF")), before);
  EXPECT_FALSE(fs::exists(TableReplacement::WorkFolder(dir.File("TGT.DBF"))));
}

// One memo reference that points nowhere stops the enciphering with the engine's message; the
// table stays as it was, plain and readable.
TEST(TableReplacementTest, ABadMemoReferenceStopsEncipheringAndLeavesTheTable) {
  TempDir dir;
  const std::string table = dir.File("M.DBF");
  MakeTable(table, 1, 6, "m");
  {
    dBHandler t(table, "", true, false);
    t.GetRecord(5);
    t.FieldPut(3, "99999");
    t.PutRecord(5);
  }
  const std::string bytes = ReadFileBytes(table), memo = ReadFileBytes(dir.File("M.DBT"));
  {
    dBHandler t(table, "", true, false);
    EXPECT_THROW(t.SetPassword("segredo"), EngineError);
    EXPECT_FALSE(t.encrypted());
  }
  EXPECT_EQ(ReadFileBytes(table), bytes);
  EXPECT_EQ(ReadFileBytes(dir.File("M.DBT")), memo);
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"M.DBF", "M.DBT"}));
}

}  // namespace
}  // namespace dbase
