// The product import and the end-of-session count exports on a disk whose Nth read, write,
// fsync, truncate or rename fails, for N = 1, 2, ... until they complete. The import raises and
// leaves the old product table (and its input, for the next load), or completes with the whole
// new one; the exports leave each file whole or absent, and counts not exported stay in a table
// that reads as it was received. The failure points are printed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "handler/db_handler.h"
#include "exchange/exchange_test_support.h"
#include "exchange/handheld_tables.h"
#include "support/failure_sweep.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;
using exchange_test::FieldSpecsOf;
using exchange_test::FileNames;
using exchange_test::MakeTable;
using exchange_test::StoredRows;
using testsupport::ReadFileBytes;
using testsupport::SweepRun;
using testsupport::WriteFileBytes;

// Every file of a folder with its bytes, to put the folder back as it was before each run.
using FolderImage = std::map<std::string, std::string>;

FolderImage TakeImage(const std::string& folder) {
  FolderImage image;
  for (const std::string& name : FileNames(folder)) image[name] = ReadFileBytes(folder + "/" + name);
  return image;
}

void Restore(const std::string& folder, const FolderImage& image) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const auto& [name, bytes] : image) WriteFileBytes(folder + "/" + name, bytes);
}

// The rows of a table as a reader finds them, or the reader's error; a header count that
// disagrees with the file's length is an error too.
std::vector<std::string> RowsOrError(const std::string& path) {
  try {
    {
      dbase::dBHandler table(path, "", false, true);
      const auto expected = static_cast<uintmax_t>(table.header_length()) +
                            static_cast<uintmax_t>(table.record_count()) * table.record_length() + 1;
      if (fs::file_size(path) != expected) return {"header count disagrees with the file"};
    }
    return StoredRows(path);
  } catch (const std::exception& error) {
    return {std::string("error: ") + error.what()};
  }
}

bool Logged(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class FailingDiskExchangeTest : public exchange_test::ExchangeTest {};

TEST_F(FailingDiskExchangeTest, AnImportLeavesTheOldProductTableOrTheWholeNewOne) {
  CreateHandheldTables(home());
  // The product table, and a table of notes whose memos must follow their records.
  CreateTableFromSpecs(home() + "/NOTAS.DBF", "", 3, {"CODIGO;C;4;0", "OBS;M;10;0"});
  struct Case {
    std::string table;
    std::vector<std::vector<std::string>> old_rows;
    std::string input;
  };
  const std::vector<Case> cases = {
      {"PRODUTOS.DBF", {{"9", "old nine"}, {"1", "old one"}}, "\"30\",\"Sal\"\r\n\"10\",\"Arroz\"\r\n\"20\",\"Feijao\"\r\n"},
      {"NOTAS.DBF",
       {{"z", std::string(900, 'o')}, {"y", "short old"}},
       "c," + std::string(700, 'c') + "\r\na,\"first, with a comma\"\r\nb,\"\"\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    fs::remove_all(dbf());
    fs::create_directories(dbf());
    MakeTable(dbf() + "/" + c.table, FieldSpecsOf(home() + "/" + c.table), c.old_rows);
    const FolderImage before = TakeImage(dbf());
    const std::string table = dbf() + "/" + c.table;
    const std::string input = csv() + "/" + c.table.substr(0, c.table.size() - 4) + ".csv";
    const std::vector<std::string> old_rows = RowsOrError(table);
    auto prepare = [&] {
      Restore(dbf(), before);
      Restore(csv(), {});
      WriteFileBytes(input, c.input);
      log_.Take();
    };
    auto run = [&] { exchange_.ImportCsv(dbf(), "CODIGO", c.table); };

    prepare();
    run();
    const std::vector<std::string> new_rows = RowsOrError(table);
    ASSERT_EQ(new_rows.size(), 3u) << new_rows[0];
    ASSERT_NE(new_rows, old_rows);
    const std::vector<std::string> files = FileNames(dbf());

    const testsupport::FailurePoints points = testsupport::SweepFailures(prepare, run, [&](const SweepRun& r) {
      const std::vector<std::string> rows = RowsOrError(table);
      const std::vector<std::string> lines = log_.Take();
      if (r.raised) {
        EXPECT_EQ(rows, old_rows) << r.message;
        EXPECT_TRUE(fs::exists(input)) << "the input of a failed import is kept for the next load";
        EXPECT_FALSE(Logged(lines, "> Importação concluída!"));
      } else {
        EXPECT_EQ(rows, new_rows) << (r.fired ? "a failure passed for success" : "the whole run went wrong");
        EXPECT_TRUE(Logged(lines, "> Importação concluída!"));
      }
      EXPECT_EQ(FileNames(dbf()), files);  // no work table, work folder or marker left
    });
    std::printf("[ points   ] product import of %s: %s\n", c.table.c_str(), points.Describe().c_str());
    EXPECT_GT(points.total, 20u);
  }
}

TEST_F(FailingDiskExchangeTest, CountExportsAreWholeOrAbsentAndUnexportedCountsAreKept) {
  const std::vector<std::string> specs = {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"};
  MakeTable(count_table(), specs, {{"A1", "01", "12"}, {"B2", "02", "7"}, {"C3", "03", "0"}});
  const FolderImage received = TakeImage(dbf());
  const std::vector<std::string> counts = RowsOrError(count_table());
  const std::string text = txt() + "/IE120701.TXT", comma = csv() + "/IE120701.CSV";
  const std::string copy = dbf() + "/IE120701.DBF", kept = dbf() + "/CONTAGEM-20241207-01.DBF";
  auto prepare = [&] {
    Restore(dbf(), received);
    Restore(txt(), {});
    Restore(csv(), {});
    log_.Take();
  };
  auto run = [&] { exchange_.ExportReceivedCounts(dbf(), "IE", "CONTAGEM.DBF", true); };
  prepare();
  run();
  const std::string text_bytes = ReadFileBytes(text), comma_bytes = ReadFileBytes(comma);
  ASSERT_EQ(RowsOrError(copy), counts);
  ASSERT_FALSE(fs::exists(kept));

  int kept_runs = 0;
  const testsupport::FailurePoints points = testsupport::SweepFailures(prepare, run, [&](const SweepRun& r) {
    EXPECT_FALSE(r.raised) << "the exports log their failures: " << r.message;
    const bool has_text = fs::exists(text), has_comma = fs::exists(comma), has_copy = fs::exists(copy);
    EXPECT_EQ(has_text ? ReadFileBytes(text) : text_bytes, text_bytes);
    EXPECT_EQ(has_comma ? ReadFileBytes(comma) : comma_bytes, comma_bytes);
    EXPECT_EQ(has_copy ? RowsOrError(copy) : counts, counts);
    // The counts survive in the received table or in the kept copy, never in neither.
    if (fs::exists(kept)) {
      ++kept_runs;
      EXPECT_EQ(RowsOrError(kept), counts);
      EXPECT_FALSE(fs::exists(count_table()));
    } else {
      EXPECT_EQ(RowsOrError(count_table()), counts);
      if (!(has_text && has_comma && has_copy)) {
        EXPECT_TRUE(r.fired);  // only a failed rename of the table itself leaves it in place
      }
    }
    // No partial copy, work folder or marker beside the tables.
    for (const std::string& name : FileNames(dbf())) {
      EXPECT_TRUE(name == "CONTAGEM.DBF" || name == "IE120701.DBF" || name == "CONTAGEM-20241207-01.DBF") << name;
    }
  });
  std::printf("[ points   ] count exports: %s, %d kept the counts\n", points.Describe().c_str(), kept_runs);
  EXPECT_GT(points.total, 20u);
  EXPECT_GT(kept_runs, 0);
}

}  // namespace
}  // namespace quarvel
