// Whole-file replacement: the commit and its recovery, and every whole-table operation (zap,
// encipher, decipher, copy, sorted copy) on a disk that fails at each of its calls in turn.
// Whatever call fails, the table (and a copy's target) is whole afterwards, holding the old or
// the new contents, and no temporary file is left.
#include "dbf/table_replacement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "platform/file_faults.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

namespace fs = std::filesystem;
using platform::FileOp;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

std::unique_ptr<DBFBuild> Builder(int dialect, const std::string& path) {
  if (dialect == 2) return std::make_unique<DB4Build>(path);
  if (dialect == 3) return std::make_unique<DBFoxBuild>(path);
  return std::make_unique<DBFBuild>(path);
}

// `count` records with a memo each (every third one empty), the fourth one deleted.
void MakeTable(const std::string& path, int dialect, int count, const std::string& tag) {
  {
    auto b = Builder(dialect, path);
    b->AddField("CODIGO", 'C', 8, 0);
    b->AddField("QTD", 'N', 6, 0);
    b->AddField("OBS", 'M', 10, 0);
    b->Build();
  }
  dBHandler t(path, "", true, false);
  for (int i = 1; i <= count; ++i) {
    t.Blank();
    t.StringPut(1, tag + std::to_string(i));
    t.NumberPut(2, (i * 37) % 11);
    t.StringPut(3, i % 3 == 0 ? "" : "memo " + tag + std::to_string(i) + std::string(static_cast<size_t>(i) * 30, '.'));
    t.Append();
    if (i == 4) t.Delete();
  }
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

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// One whole-table operation with what the table and the target hold before and after it.
struct Operation {
  std::string name;
  std::string source_password;                      // to open the source before
  std::string password_after;                       // to open the source after
  std::function<void(dBHandler&, const std::string&)> run;  // (source, target path)
  bool has_target = false;
};

std::vector<Operation> Operations() {
  return {
      {"zap", "", "", [](dBHandler& t, const std::string&) { t.Zap(); }},
      {"encrypt", "", "segredo", [](dBHandler& t, const std::string&) { t.SetPassword("segredo"); }},
      {"decrypt", "segredo", "", [](dBHandler& t, const std::string&) { t.SetPassword(""); }},
      {"copy", "", "", [](dBHandler& t, const std::string& target) { t.CopyFile(target, ""); }, true},
      {"sort", "", "",
       [](dBHandler& t, const std::string& target) { t.SortFile(target, "", 3, "STR(QTD,6)+CODIGO"); }, true},
  };
}

class FailingDiskTest : public ::testing::TestWithParam<int> {};

// For each kind of file call and each N, the Nth call fails (writes as a disk that stays full):
// the operation either raises with the old table whole, or succeeds with the new one.
TEST_P(FailingDiskTest, EveryFailedCallLeavesTheOldOrTheNewTableWhole) {
  const int dialect = GetParam();
  TempDir dir;
  const std::string src = dir.File("SRC.DBF"), target = dir.File("TGT.DBF");
  MakeTable(dir.File("PLAIN.DBF"), dialect, 7, "p");
  MakeTable(dir.File("OLD.DBF"), dialect, 3, "o");
  auto copy_table = [&](const std::string& from, const std::string& to) {
    for (const std::string& name : FilesIn(dir.path())) {
      if (name.rfind(from, 0) == 0) fs::copy_file(dir.File(name), dir.File(to + name.substr(from.size())),
                                                  fs::copy_options::overwrite_existing);
    }
  };
  {
    copy_table("PLAIN", "CIPHER");
    dBHandler t(dir.File("CIPHER.DBF"), "", true, false);
    t.SetPassword("segredo");
  }
  const std::vector<std::string> plain = Contents(dir.File("PLAIN.DBF"), "");
  const std::vector<std::string> old_target = Contents(dir.File("OLD.DBF"), "");
  // The sorted copy as an undisturbed run writes it (the order itself is the sort tests' job).
  std::vector<std::string> sorted;
  {
    dBHandler t(dir.File("PLAIN.DBF"), "", false, false);
    t.SortFile(dir.File("SORTED.DBF"), "", 3, "STR(QTD,6)+CODIGO");
    sorted = Contents(dir.File("SORTED.DBF"), "");
    ASSERT_EQ(sorted.size(), plain.size());
    ASSERT_NE(sorted, plain);
  }

  int runs = 0;
  for (const Operation& op : Operations()) {
    for (FileOp kind : {FileOp::kWrite, FileOp::kSync, FileOp::kRename, FileOp::kTruncate, FileOp::kRead}) {
      for (uint64_t nth = 1;; ++nth) {
        SCOPED_TRACE(op.name + " call kind " + std::to_string(static_cast<int>(kind)) + " n=" + std::to_string(nth));
        for (const std::string& name : FilesIn(dir.path())) {
          if (name.rfind("SRC", 0) == 0 || name.rfind("TGT", 0) == 0) fs::remove_all(dir.File(name));
        }
        copy_table(op.source_password.empty() ? "PLAIN" : "CIPHER", "SRC");
        if (op.has_target) copy_table("OLD", "TGT");
        const std::vector<std::string> files_before = FilesIn(dir.path());
        bool failed = false, fired = false;
        {
          dBHandler t(src, op.source_password, true, false);
          platform::ScopedFileFaultForTesting fault({kind, nth, kind == FileOp::kWrite ? ENOSPC : EIO,
                                                     kind == FileOp::kWrite});
          try {
            op.run(t, target);
          } catch (const EngineError&) {
            failed = true;
          }
          fired = platform::FileFaultFiredForTesting();
        }
        ++runs;
        const bool source_changes = !op.has_target;
        const std::vector<std::string> source_after =
            Contents(src, source_changes ? op.password_after : op.source_password);
        const std::vector<std::string> source_new = op.name == "zap" ? std::vector<std::string>{} : plain;
        const std::vector<std::string> target_new = op.name == "sort" ? sorted : plain;
        const bool is_new = op.has_target ? Contents(target, "") == target_new : source_after == source_new;
        const bool is_old = op.has_target ? Contents(target, "") == old_target
                                          : Contents(src, op.source_password) == plain;
        if (op.has_target) {
          EXPECT_EQ(Contents(src, op.source_password), plain);
        }
        EXPECT_TRUE(failed ? is_old || is_new : is_new);
        EXPECT_EQ(FilesIn(dir.path()), files_before);  // no work folder, marker or partial file
        if (!fired) {
          EXPECT_FALSE(failed);
          break;  // the operation needs fewer calls of this kind than nth
        }
      }
    }
  }
  EXPECT_GT(runs, 50);
}

INSTANTIATE_TEST_SUITE_P(AllDialects, FailingDiskTest, ::testing::Values(1, 2, 3));

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
