// The dBase count export: the dated copy beside the count table, its contents read back through
// the engine's handler, the log, and the dataset state it leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "exchange/data_exchange.h"
#include "exchange_test_support.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;
using exchange_test::DeleteRecords;
using exchange_test::FileNames;
using exchange_test::ExchangeTest;
using exchange_test::FieldSpecsOf;
using exchange_test::LogCollector;
using exchange_test::MakeTable;
using exchange_test::StoredRows;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

const std::vector<std::string> kCountSpecs = {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"};

class DbfExportTest : public ExchangeTest {
 protected:
  void CountTable(const std::vector<std::vector<std::string>>& rows) { MakeTable(count_table(), kCountSpecs, rows); }
  void ExportDbf(const std::string& prefix = "IE") { exchange_.ExportDbf(dbf(), prefix, "CONTAGEM.DBF"); }
};

TEST_F(DbfExportTest, DatedCopiesBesideTheTable) {
  CountTable({{"A1", "01", "12"}, {"7891000100103", "02", "-5"}});
  ExportDbf();
  ExportDbf();
  today_ = {2024, 12, 8};
  ExportDbf();

  EXPECT_EQ(FileNames(dbf()),
            (std::vector<std::string>{"CONTAGEM.DBF", "IE120701.DBF", "IE120702.DBF", "IE120801.DBF"}));
  const std::vector<std::string> rows = {"A1                  |01  |    12", "7891000100103       |02  |    -5"};
  for (const char* copy : {"IE120701.DBF", "IE120702.DBF", "IE120801.DBF"}) {
    SCOPED_TRACE(copy);
    EXPECT_EQ(StoredRows(dbf() + "/" + copy), rows);
    EXPECT_EQ(FieldSpecsOf(dbf() + "/" + copy), kCountSpecs);
  }
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                              "> Exportando dados para IE120701.DBF",
                              "> Exportação de 2 registros concluída!",
                              "> Exportando dados para IE120702.DBF",
                              "> Exportação de 2 registros concluída!",
                              "> Exportando dados para IE120801.DBF",
                              "> Exportação de 2 registros concluída!",
                          }));
}

TEST_F(DbfExportTest, OnlyNamesInTheSourceFolderCount) {
  CountTable({{"A1", "01", "1"}});
  WriteFileBytes(txt() + "/IE120701.DBF", "elsewhere");
  WriteFileBytes(csv() + "/IE120701.DBF", "elsewhere");
  WriteFileBytes(dbf() + "/IE120701.TXT", "other extension");
  ExportDbf();
  EXPECT_EQ(StoredRows(dbf() + "/IE120701.DBF"), std::vector<std::string>{"A1                  |01  |     1"});

  // A name taken in another letter case is taken.
  fs::rename(dbf() + "/IE120701.DBF", dbf() + "/ie120701.dbf");
  ExportDbf();
  EXPECT_TRUE(fs::exists(dbf() + "/IE120702.DBF"));
  EXPECT_FALSE(fs::exists(dbf() + "/IE120701.DBF"));
}

TEST_F(DbfExportTest, CopyLeavesDeletedRecordsOutButTheCountIncludesThem) {
  CountTable({{"A1", "01", "1"}, {"A2", "01", "2"}, {"A3", "01", "3"}});
  DeleteRecords(count_table(), {2});
  ExportDbf();

  EXPECT_EQ(StoredRows(dbf() + "/IE120701.DBF"),
            (std::vector<std::string>{"A1                  |01  |     1", "A3                  |01  |     3"}));
  EXPECT_EQ(log_.lines().back(), "> Exportação de 3 registros concluída!");
  // The source keeps its deleted record.
  EXPECT_EQ(StoredRows(count_table()).size(), 3u);
}

TEST_F(DbfExportTest, EmptyTableCopiesToAnEmptyTable) {
  CountTable({});
  ExportDbf();
  EXPECT_TRUE(StoredRows(dbf() + "/IE120701.DBF").empty());
  EXPECT_EQ(log_.lines().back(), "> Exportação de 0 registros concluída!");
}

TEST_F(DbfExportTest, CopyKeepsTheTableTypeAndMemos) {
  // 0x83 dBase III with memo, 0x8B dBase IV with memo, 0xF5 FoxPro with memo.
  for (uint8_t type : {1, 2, 3}) {
    SCOPED_TRACE(static_cast<int>(type));
    testsupport::TempDir folder;
    MakeTable(folder.File("CONTAGEM.DBF"), {"CODIGO;C;20;0", "NOTA;M;10;0"}, {{"A1", "conferir"}, {"A2", ""}},
              type);
    exchange_.ExportDbf(folder.path(), "IE", "CONTAGEM.DBF");
    const std::string copy = folder.File("IE120701.DBF");
    EXPECT_EQ(ReadFileBytes(copy).substr(0, 1), ReadFileBytes(folder.File("CONTAGEM.DBF")).substr(0, 1));
    const std::vector<std::string> rows = StoredRows(copy);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "A1                  |conferir");
    EXPECT_EQ(rows[1].substr(0, 20), "A2                  ");
    EXPECT_EQ(rows[1].find_first_not_of(' ', 21), std::string::npos) << rows[1];
  }
}

TEST_F(DbfExportTest, EmptyPrefixCopiesNothingAndLogsNothing) {
  CountTable({{"A1", "01", "1"}});
  const std::string before = ReadFileBytes(count_table());
  ExportDbf("");
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(FileNames(dbf()), std::vector<std::string>{"CONTAGEM.DBF"});
  EXPECT_EQ(StoredRows(count_table()), std::vector<std::string>{"A1                  |01  |     1"});
  EXPECT_EQ(ReadFileBytes(count_table()).size(), before.size());
}

TEST_F(DbfExportTest, DatasetIsLeftClosedAndExclusive) {
  CountTable({{"A1", "01", "1"}});
  ASSERT_FALSE(dataset_.Exclusive());
  ExportDbf();
  EXPECT_FALSE(dataset_.Active());
  EXPECT_TRUE(dataset_.Exclusive());

  // Without a prefix too, where nothing is copied.
  ConfigureApplicationDataSet(dataset_);
  ExportDbf("");
  EXPECT_FALSE(dataset_.Active());
  EXPECT_TRUE(dataset_.Exclusive());
}

TEST_F(DbfExportTest, MissingTableLogsAndChangesNothing) {
  ExportDbf();
  EXPECT_EQ(log_.lines(), std::vector<std::string>{"> Arquivo CONTAGEM.DBF não encontrado!"});
  EXPECT_TRUE(FileNames(dbf()).empty());
  EXPECT_FALSE(dataset_.Exclusive());
}

TEST_F(DbfExportTest, AllNamesOfTheDayTakenRefusesWithoutOverwriting) {
  CountTable({{"A1", "01", "1"}});
  for (int n = 0; n <= 99; ++n) {
    const std::string name = "IE1207" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".DBF";
    WriteFileBytes(dbf() + "/" + name, name);
  }
  ExportDbf();
  EXPECT_EQ(log_.lines(), std::vector<std::string>{"> Arquivos IE120701.DBF a IE120700.DBF já existem em " + dbf() +
                                                   ": exportação não realizada!"});
  for (const std::string& name : FileNames(dbf())) {
    if (name != "CONTAGEM.DBF") {
      EXPECT_EQ(ReadFileBytes(dbf() + "/" + name), name);
    }
  }
  EXPECT_FALSE(dataset_.Active());
}

}  // namespace
}  // namespace quarvel
