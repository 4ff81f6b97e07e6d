// Every write point of the engine's operations failing. Each operation (append, replace, memo
// writes and rewrites, copy, sorted copy, zap, pack, encipher, decipher) runs in each memo dialect on a
// disk whose Nth read, write, fsync, truncate or rename fails, for N = 1, 2, ... until the
// operation completes. After each run: a failure was raised with the system's error, and the
// table opens, reads with its memos, has a header count equal to its records, holds the old or
// the new contents, and no temporary file is left. The failure points of each operation are
// printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "dbf/byte_order.h"
#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "support/failure_sweep.h"
#include "support/memo_tables.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

namespace fs = std::filesystem;
using testsupport::FilesIn;
using testsupport::ReadFileBytes;
using testsupport::SweepRun;
using testsupport::TempDir;

using Rows = std::vector<std::vector<std::string>>;  // per record: deletion mark, fields, memo text

std::string Text(size_t n, const std::string& seed) {
  std::string text;
  while (text.size() < n) text += seed + " " + std::to_string(text.size()) + ";";
  return text.substr(0, n);
}

// `count` records with a memo each (every third one empty), the fourth one deleted.
void MakeTable(const std::string& path, int dialect, int count, const std::string& tag) {
  testsupport::MakeMemoTable(path, dialect, count, tag, [&](int i) -> std::string {
    return i % 3 == 0 ? "" : Text(static_cast<size_t>(i) * 140, "memo " + tag + std::to_string(i));
  });
}

// What a table holds, as a reader finds it: its records with their memos (or the error that
// stops the reading), and the count its header gives beside the count of records in the file.
struct TableState {
  bool encrypted = false;
  Rows rows;
  std::string error;
  int64_t header_count = -1;
  int64_t file_count = -1;
};

TableState Inspect(const std::string& path, const std::string& password) {
  TableState state;
  try {
    dBHandler t(path, password, false, false);  // an open finishes an interrupted replacement
    for (int32_t n = 1; n <= t.record_count(); ++n) {
      t.GetRecord(n);
      state.rows.push_back({t.deleted() ? "*" : " ", t.FieldGet(1), t.FieldGet(2), t.StringGet(3)});
    }
  } catch (const EngineError& e) {
    state.error = e.what();
    return state;
  }
  const std::string bytes = ReadFileBytes(path);
  const auto* raw = reinterpret_cast<const uint8_t*>(bytes.data());
  const int64_t header_length = GetLE16(raw + 8), record_length = GetLE16(raw + 10);
  state.encrypted = raw[15] != 0;
  state.header_count = GetLE32(raw + 4);
  state.file_count = (static_cast<int64_t>(bytes.size()) - header_length) / record_length;
  // Whole records, then at most the end marker.
  const int64_t rest = static_cast<int64_t>(bytes.size()) - header_length - state.file_count * record_length;
  if (rest > 1 || (rest == 1 && bytes.back() != '\x1A')) state.error = "a partial record ends the file";
  return state;
}

// One operation: how the table is opened, what is done to it, whether it writes a target (a
// copy) instead, and which outcomes besides the old and the new contents its format allows.
struct Operation {
  std::string name;
  std::string password_before;
  std::string password_after;
  bool shared = false;
  bool has_target = false;
  std::function<void(dBHandler&, const std::string& target)> run;
  // A memo rewritten over its old blocks is in place before its record is written: a failure
  // between leaves the old fields with the new memo text (dBase III, IV and FoxPro alike).
  bool memo_in_place = false;
  int record = 0;  // the record whose memo is rewritten in place
};

void PutFields(dBHandler& t, const std::string& code, long double quantity) {
  t.StringPut(1, code);
  t.NumberPut(2, quantity);
}

std::vector<Operation> Operations() {
  auto append = [](dBHandler& t, const std::string&) {
    t.Blank();
    PutFields(t, "novo", 42);
    t.StringPut(3, Text(700, "memo novo"));
    t.Append();
  };
  auto rewrite = [](int record, const std::string& code, size_t memo, int quantity) {
    return [=](dBHandler& t, const std::string&) {
      t.GetRecord(record);
      PutFields(t, code, quantity);
      t.StringPut(3, memo == 0 ? std::string() : Text(memo, "nota " + code));
      t.PutRecord(record);
    };
  };
  return {
      {"append", "", "", false, false, append},
      {"append shared", "", "", true, false, append},
      {"replace shared",
       "", "", true, false,
       [](dBHandler& t, const std::string&) {
         t.GetRecord(2);
         PutFields(t, "troca", 99);
         t.PutRecord(2);
       }},
      {"memo write", "", "", false, false, rewrite(3, "primeira", 300, 5)},
      {"memo rewrite longer", "", "", true, false, rewrite(1, "maior", 1500, 6)},
      {"memo rewrite in place", "", "", false, false, rewrite(5, "menor", 200, 7), true, 5},
      {"memo removed", "", "", true, false, rewrite(2, "sem", 0, 8)},
      {"zap", "", "", false, false, [](dBHandler& t, const std::string&) { t.Zap(); }},
      {"encrypt", "", "segredo", false, false, [](dBHandler& t, const std::string&) { t.SetPassword("segredo"); }},
      {"decrypt", "segredo", "", false, false, [](dBHandler& t, const std::string&) { t.SetPassword(""); }},
      {"copy", "", "", false, true, [](dBHandler& t, const std::string& target) { t.CopyFile(target, ""); }},
      {"sort", "", "", false, true,
       [](dBHandler& t, const std::string& target) { t.SortFile(target, "", 3, "STR(QTD,6)+CODIGO"); }},
      {"pack", "", "", false, false, [](dBHandler& t, const std::string&) { t.Pack(); }},
      // Key maintenance with an open index is not in this list yet: a failed index page write can
      // still leave an index that opens while it lacks a key.
  };
}

class FailingDiskTest : public ::testing::TestWithParam<int> {};

TEST_P(FailingDiskTest, EveryFailurePointLeavesTheOldOrTheNewTableWhole) {
  const int dialect = GetParam();
  TempDir dir;
  MakeTable(dir.File("PLAIN.DBF"), dialect, 7, "p");
  MakeTable(dir.File("OLD.DBF"), dialect, 3, "o");
  {
    dBHandler t(dir.File("PLAIN.DBF"), "", true, false);  // a deleted record for pack to drop
    t.GetRecord(4);
    t.Delete();
  }
  auto copy_table = [&](const std::string& from, const std::string& to) {
    for (const std::string& name : FilesIn(dir.path())) {
      if (name.rfind(from + ".", 0) == 0) {
        fs::copy_file(dir.File(name), dir.File(to + name.substr(from.size())), fs::copy_options::overwrite_existing);
      }
    }
  };
  copy_table("PLAIN", "CIPHER");
  dBHandler(dir.File("CIPHER.DBF"), "", true, false).SetPassword("segredo");

  const std::string source = dir.File("SRC.DBF"), target = dir.File("TGT.DBF");
  uint64_t all_points = 0;
  for (const Operation& op : Operations()) {
    SCOPED_TRACE(op.name);
    auto prepare = [&] {
      for (const std::string& name : FilesIn(dir.path())) {
        if (name.rfind("SRC", 0) == 0 || name.rfind("TGT", 0) == 0) fs::remove_all(dir.File(name));
      }
      copy_table(op.password_before.empty() ? "PLAIN" : "CIPHER", "SRC");
      if (op.has_target) copy_table("OLD", "TGT");
    };
    auto run = [&] {
      dBHandler t(source, op.password_before, true, op.shared);
      op.run(t, target);
      t.Close();
    };
    const std::string checked = op.has_target ? target : source;
    const std::string password_after = op.has_target ? "" : op.password_after;

    prepare();
    const Rows source_rows = Inspect(source, op.password_before).rows;
    const TableState old_state = Inspect(checked, op.has_target ? "" : op.password_before);
    const std::vector<std::string> files = FilesIn(dir.path());
    run();
    const TableState new_state = Inspect(checked, password_after);
    ASSERT_EQ(new_state.error, "");
    ASSERT_TRUE(new_state.rows != old_state.rows || new_state.encrypted != old_state.encrypted)
        << "the operation changes nothing";
    EXPECT_EQ(FilesIn(dir.path()), files);
    Rows mixed;  // the old fields of the rewritten record with its new memo
    if (op.memo_in_place) {
      const auto r = static_cast<size_t>(op.record - 1);
      mixed = old_state.rows;
      mixed[r].back() = new_state.rows[r].back();
    }

    const testsupport::FailurePoints points = testsupport::SweepFailures(prepare, run, [&](const SweepRun& r) {
      // Enciphered or plain, the table is read with the password it has.
      TableState after = Inspect(checked, password_after);
      if (after.error.rfind("No Password", 0) == 0 || after.error.rfind("A Password", 0) == 0) {
        after = Inspect(checked, op.has_target ? "" : op.password_before);
      }
      ASSERT_EQ(after.error, "");
      const bool is_old = after.rows == old_state.rows && after.encrypted == old_state.encrypted;
      const bool is_new = after.rows == new_state.rows && after.encrypted == new_state.encrypted;
      const bool is_mixed = op.memo_in_place && after.rows == mixed;
      if (r.raised) {
        EXPECT_EQ(r.os_error, r.kind->error) << r.message;
        EXPECT_TRUE(is_old || is_new || is_mixed) << "neither the old nor the new table";
      } else {
        EXPECT_TRUE(is_new) << (r.fired ? "a failure passed for success" : "the whole run went wrong");
      }
      // An exclusive table's header is written when it closes; when that write fails, the
      // records appended before stay (their appends succeeded) and the header keeps its count
      // until the next write.
      const bool close_failed = r.raised && !op.shared && is_new && after.header_count == old_state.header_count;
      if (!close_failed) {
        EXPECT_EQ(after.header_count, after.file_count);
      }
      if (op.has_target) {
        EXPECT_EQ(Inspect(source, op.password_before).rows, source_rows);
      }
      EXPECT_EQ(FilesIn(dir.path()), files);  // no work folder, marker or partial file
    });
    std::printf("[ points   ] dialect %d, %s: %s\n", dialect, op.name.c_str(), points.Describe().c_str());
    all_points += points.total;
  }
  EXPECT_GT(all_points, 100u);
}

INSTANTIATE_TEST_SUITE_P(AllDialects, FailingDiskTest, ::testing::Values(1, 2, 3));

}  // namespace
}  // namespace dbase
