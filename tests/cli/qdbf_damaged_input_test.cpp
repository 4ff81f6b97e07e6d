// Every writing verb of qdbf on a damaged table, in every dialect with memos: each damage ends in
// an error naming the trouble, and the folder is left byte for byte as it was (no file changed,
// none added, none removed).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbase_fld.h"
#include "dbf/dbf_build.h"
#include "support/dialects.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::RunQdbf;
using testsupport::WriteFileBytes;

std::map<std::string, std::string> FolderBytes(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
  }
  return files;
}

struct Damage {
  const char* name;
  // What the message names (a part of it).
  const char* message;
  std::function<void(std::string& table, const std::string& memo_path)> plant;
  // Only the verbs that read every memo meet a damage inside the memo file.
  bool memo_readers_only = false;
};

class QdbfDamagedInputTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
    table_ = dir_.File("ITENS.DBF");
    memo_ = dir_.File(GetParam() == 3 ? "ITENS.FPT" : "ITENS.DBT");
    rows_ = dir_.File("rows.csv");
    WriteFileBytes(rows_, "CODIGO,QTD,NOTA\nX1,1,um\n");
  }

  // A fresh table of 12 records with memos, alone in the folder but for the rows to import.
  void MakeTable() {
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      if (entry.path() != rows_) fs::remove_all(entry.path());
    }
    {
      auto build = testsupport::DialectBuilder(GetParam(), table_);
      build->AddField("CODIGO", 'C', 6, 0);
      build->AddField("QTD", 'N', 6, 0);
      build->AddField("NOTA", 'M', 10, 0);
      build->Build();
    }
    dBaseFld t(table_, "", true, false);
    for (int i = 0; i < 12; ++i) {
      t.Blank();
      t.StringPutByName("CODIGO", "C" + std::to_string(i));
      t.NumberPutByName("QTD", i);
      t.StringPutByName("NOTA", "nota " + std::string(static_cast<size_t>(i) * 70, 'x'));
      t.Append();
    }
  }

  std::string table_;
  std::string memo_;
  std::string rows_;
  testsupport::TempDir dir_;
};

TEST_P(QdbfDamagedInputTest, EveryWritingVerbRefusesADamagedTableAndWritesNothing) {
  const std::vector<Damage> damages = {
      {"file cut inside the header", "", [](std::string& t, const std::string&) { t.resize(20); }},
      {"header length past the end of the file", "",
       [](std::string& t, const std::string&) { t[8] = '\xF0', t[9] = '\x7F'; }},
      {"record length shorter than the fields", "",
       [](std::string& t, const std::string&) { t[10] = 3, t[11] = 0; }},
      // The memo file is opened when a memo is first read: verbs that touch no memo still run.
      {"memo file missing", "could not be found",
       [](std::string&, const std::string& memo) { fs::remove(memo); }, true},
      {"memo reference past the end of the memo file", "Memo record is bad",
       [](std::string& t, const std::string&) {
         // The memo field of record 5: after the deletion flag, CODIGO (6) and QTD (6).
         const size_t header = static_cast<unsigned char>(t[8]) | static_cast<unsigned char>(t[9]) << 8;
         const size_t length = static_cast<unsigned char>(t[10]) | static_cast<unsigned char>(t[11]) << 8;
         t.replace(header + 4 * length + 13, 10, "    999999");
       },
       true},
  };
  const std::string table = "'" + table_ + "' ";
  const std::vector<std::pair<std::string, bool>> verbs = {
      {"pack " + table, true},
      {"restructure " + table + "--add 'NOVO;C;5'", true},
      {"sort " + table + "'" + dir_.File("SORTED.DBF") + "' --key CODIGO", true},
      {"copy " + table + "'" + dir_.File("COPIA.DBF") + "'", true},
      {"encrypt " + table + "--password segredo", true},
      {"zap " + table, false},
      {"delete " + table + "--filter 'QTD > 3'", false},
      {"recall " + table + "--filter '.T.'", false},
      {"replace " + table + "--set 'QTD=1'", false},
      {"append " + table + "CODIGO=NOVO QTD=2", false},
      {"import " + table + "'" + rows_ + "' --format csv", false},
      {"index create " + table + "'" + dir_.File("ITENS.NTX") + "' --key CODIGO", false},
  };
  for (const Damage& damage : damages) {
    for (const auto& [verb, reads_every_memo] : verbs) {
      if (damage.memo_readers_only && !reads_every_memo) continue;
      SCOPED_TRACE(std::string(damage.name) + ": qdbf " + verb);
      MakeTable();
      std::string bytes = ReadFileBytes(table_);
      damage.plant(bytes, memo_);
      WriteFileBytes(table_, bytes);
      const std::map<std::string, std::string> before = FolderBytes(dir_.path());
      const testsupport::ProgramRun run = RunQdbf(verb);
      EXPECT_GT(run.status, 0) << run.output;  // an error, not a crash and not success
      EXPECT_FALSE(run.output.empty());
      EXPECT_NE(run.output.find(damage.message), std::string::npos) << run.output;
      EXPECT_EQ(FolderBytes(dir_.path()), before) << run.output;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Dialects, QdbfDamagedInputTest, ::testing::Values(1, 2, 3),
                         [](const auto& param_info) { return testsupport::DialectName(param_info.param); });

}  // namespace
}  // namespace dbase
