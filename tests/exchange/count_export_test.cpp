// The SDF and CSV count exports: exact file bytes and log lines, the rendering of every field
// type, the dated names with their sequence numbers, and the failures that must leave earlier
// exports and the table alone.
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
using exchange_test::LogCollector;
using exchange_test::MakeTable;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

const std::vector<std::string> kCountSpecs = {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"};

// Stores `bytes` as they are in field `field` of record `record`, past the handler's value checks.
void PutRawField(const std::string& path, int32_t record, int field, const std::string& bytes) {
  dbase::dBHandler table(path, "", true, false);
  table.GetRecord(record);
  table.FieldPut(field, bytes);
  table.PutRecord(record);
}

class CountExportTest : public ExchangeTest {
 protected:
  void CountTable(const std::vector<std::vector<std::string>>& rows) { MakeTable(count_table(), kCountSpecs, rows); }
  void ExportCounts(const std::string& prefix = "IE") { exchange_.ExportCounts(dbf(), prefix, "CONTAGEM.DBF"); }
};

TEST_F(CountExportTest, CountTableBecomesExactSdfAndCsvFiles) {
  CountTable({{"A1", "01", "12"}, {" B2", "", "-5"}, {"7891000100103", "0002", "118"}});
  ExportCounts();

  EXPECT_EQ(ReadFileBytes(txt() + "/IE120701.TXT"),
            "A1                  01  000012\r\n"
            " B2                     0000-5\r\n"
            "7891000100103       0002000118\r\n");
  EXPECT_EQ(ReadFileBytes(csv() + "/IE120701.CSV"),
            "\"A1\",\"01\",12\r\n"
            "\"B2\",\"\",-5\r\n"
            "\"7891000100103\",\"0002\",118\r\n");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                              "> Exportando dados para " + txt() + "/IE120701.TXT",
                              "> Exportação de 3 registros concluída!",
                              "> Exportando dados para " + csv() + "/IE120701.CSV",
                              "> Exportação de 3 registros concluída!",
                          }));
}

TEST_F(CountExportTest, DeletedRecordsAreNotExported) {
  CountTable({{"A1", "01", "1"}, {"A2", "01", "2"}, {"A3", "01", "3"}});
  DeleteRecords(count_table(), {2});
  exchange_.ExportCsv(dbf(), "IE", "CONTAGEM.DBF");

  EXPECT_EQ(ReadFileBytes(csv() + "/IE120701.CSV"), "\"A1\",\"01\",1\r\n\"A3\",\"01\",3\r\n");
  EXPECT_EQ(log_.lines().back(), "> Exportação de 2 registros concluída!");
}

// One field rendered in both files. It stands between two one-character fields holding "<" and
// "#", so the SDF width of the rendered value and the CSV separators around it are visible.
struct RenderCase {
  std::string what;
  std::string spec;
  std::string value;  // put through the handler's StringPut
  bool raw;           // value stored as bytes instead, unchecked
  std::string sdf;
  std::string csv;
};

TEST_F(CountExportTest, EveryFieldTypeIsRenderedAsEachFileWantsIt) {
  const std::vector<RenderCase> cases = {
      {"HORA drops its colons in SDF only", "HORA;C;8;0", "08:15:30", false, "081530", "08:15:30"},
      {"blank HORA", "HORA;C;8;0", "", false, "      ", ""},
      {"wide HORA is cut to six after the colons go", "HORA;C;10;0", "08:15:30XY", false, "081530", "08:15:30XY"},
      {"narrow HORA keeps its field length", "HORA;C;4;0", "0815", false, "0815", "0815"},
      {"HORA of another type uses its text", "HORA;N;6;0", "81530", false, "81530 ", "81530"},
      {"text with comma and quote is not escaped", "NOME;C;10;0", "a,b\"c", false, "a,b\"c     ", "\"a,b\"c\""},
      {"text with leading blanks", "NOME;C;10;0", "  x y", false, "  x y     ", "\"x y\""},
      {"blank text", "NOME;C;3;0", "", false, "   ", "\"\""},
      {"text longer than 255", "OBS;C;300;0", "x", false, "x" + std::string(299, ' '), "\"x\""},
      {"date", "DATA;D;8;0", "20241207", false, "20241207", "2024/12/07"},
      {"empty date", "DATA;D;8;0", "", false, "        ", ""},
      {"true", "OK;L;1;0", "T", false, "T", "TRUE"},
      {"false", "OK;L;1;0", "F", false, "F", "FALSE"},
      {"unset logical", "OK;L;1;0", " ", true, "F", "FALSE"},
      {"negative integer: blanks become zeros after justifying", "QTD;N;6;0", "-5", false, "0000-5", "-5"},
      {"zero", "QTD;N;6;0", "0", false, "000000", "0"},
      {"narrow integer", "QTD;N;3;0", "-12", false, "-12", "-12"},
      {"integer wider than 32 bits", "QTD;N;12;0", "12345678901", false, "012345678901", "12345678901"},
      {"negative with decimals", "VALOR;N;8;2", "-1.5", false, "000-1.50", "-1.50"},
      {"decimals", "VALOR;N;8;2", "1234.5", false, "01234.50", "1234.50"},
      {"value wider than its field is written in full", "VALOR;N;6;2", "999999", true, "999999.00", "999999.00"},
      {"float field", "PESO;F;8;3", "2.5", false, "0002.500", "2.500"},
      {"memo padded to its field length", "NOTA;M;10;0", "uma nota", false, "uma nota  ", "\"uma nota\""},
      {"memo longer than its field is never cut", "NOTA;M;10;0", " nota bem longa ", false, " nota bem longa ",
       "\"nota bem longa\""},
      {"empty memo", "NOTA;M;10;0", "", false, "          ", "\"\""},
      {"general field takes no room", "FOTO;G;10;0", "", false, "", ""},
  };
  for (const RenderCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string table = dbf() + "/T.DBF";
    MakeTable(table, {"INI;C;1;0", c.spec, "FIM;C;1;0"}, {{"<", c.raw ? "" : c.value, "#"}});
    if (c.raw) PutRawField(table, 1, 2, c.value);
    exchange_.ExportCounts(dbf(), "", "T.DBF");
    EXPECT_EQ(ReadFileBytes(txt() + "/T.txt"), "<" + c.sdf + "#\r\n");
    EXPECT_EQ(ReadFileBytes(csv() + "/T.csv"), "\"<\"," + c.csv + ",\"#\"\r\n");
  }
}

TEST_F(CountExportTest, SequenceNumbersCountPerDayAndFolder) {
  CountTable({{"A1", "01", "1"}});
  ExportCounts();
  ExportCounts();
  today_ = {2024, 12, 8};
  ExportCounts();
  today_ = {2025, 12, 7};  // a former year's files of the same month and day are taken
  ExportCounts();

  const std::vector<std::string> txt_files = {"IE120701.TXT", "IE120702.TXT", "IE120703.TXT", "IE120801.TXT"};
  EXPECT_EQ(FileNames(txt()), txt_files);
  EXPECT_EQ(FileNames(csv()), (std::vector<std::string>{"IE120701.CSV", "IE120702.CSV", "IE120703.CSV",
                                                        "IE120801.CSV"}));
  // January keeps its leading zeros.
  today_ = {2025, 1, 5};
  exchange_.ExportText(dbf(), "IE", "CONTAGEM.DBF");
  EXPECT_TRUE(fs::exists(txt() + "/IE010501.TXT"));
}

TEST_F(CountExportTest, SharedFolderGivesEachExtensionItsOwnSequence) {
  settings_.csv_folder = txt();
  CountTable({{"A1", "01", "1"}});
  ExportCounts();
  EXPECT_EQ(FileNames(txt()), (std::vector<std::string>{"IE120701.CSV", "IE120701.TXT"}));
}

TEST_F(CountExportTest, NameTakenInOtherLetterCaseIsSkipped) {
  CountTable({{"A1", "01", "1"}});
  WriteFileBytes(txt() + "/ie120701.txt", "earlier");
  WriteFileBytes(csv() + "/Ie120701.Csv", "earlier");
  ExportCounts();

  EXPECT_EQ(ReadFileBytes(txt() + "/ie120701.txt"), "earlier");
  EXPECT_EQ(ReadFileBytes(csv() + "/Ie120701.Csv"), "earlier");
  EXPECT_EQ(ReadFileBytes(txt() + "/IE120702.TXT"), "A1                  01  000001\r\n");
  EXPECT_EQ(ReadFileBytes(csv() + "/IE120702.CSV"), "\"A1\",\"01\",1\r\n");
}

TEST_F(CountExportTest, AfterNinetyNineComesZeroThenRefusal) {
  CountTable({{"A1", "01", "1"}});
  for (int n = 1; n <= 99; ++n) {
    const std::string name = "IE1207" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".TXT";
    WriteFileBytes(txt() + "/" + name, name);
  }
  exchange_.ExportText(dbf(), "IE", "CONTAGEM.DBF");
  EXPECT_EQ(ReadFileBytes(txt() + "/IE120700.TXT"), "A1                  01  000001\r\n");
  EXPECT_EQ(log_.Take().back(), "> Exportação de 1 registros concluída!");

  // Every name of the day taken: nothing is overwritten, and the CSV export still runs.
  ExportCounts();
  EXPECT_EQ(FileNames(txt()).size(), 100u);
  for (const std::string& name : FileNames(txt())) {
    if (name != "IE120700.TXT") {
      EXPECT_EQ(ReadFileBytes(txt() + "/" + name), name);
    }
  }
  EXPECT_EQ(ReadFileBytes(txt() + "/IE120700.TXT"), "A1                  01  000001\r\n");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                              "> Arquivos IE120701.TXT a IE120700.TXT já existem em " + txt() +
                                  ": exportação não realizada!",
                              "> Exportando dados para " + csv() + "/IE120701.CSV",
                              "> Exportação de 1 registros concluída!",
                          }));
}

TEST_F(CountExportTest, EmptyPrefixOverwritesThePlainNames) {
  CountTable({{"A1", "01", "1"}});
  WriteFileBytes(txt() + "/CONTAGEM.txt", "earlier contents, longer than the export");
  // Another letter case is the same name: that file is replaced, no second one appears.
  WriteFileBytes(csv() + "/contagem.CSV", "earlier contents, longer than the export");
  ExportCounts("");
  ExportCounts("");

  EXPECT_EQ(FileNames(txt()), std::vector<std::string>{"CONTAGEM.txt"});
  EXPECT_EQ(FileNames(csv()), std::vector<std::string>{"contagem.CSV"});
  EXPECT_EQ(ReadFileBytes(txt() + "/CONTAGEM.txt"), "A1                  01  000001\r\n");
  EXPECT_EQ(ReadFileBytes(csv() + "/contagem.CSV"), "\"A1\",\"01\",1\r\n");
  EXPECT_EQ(log_.lines()[0], "> Exportando dados para " + txt() + "/CONTAGEM.txt");
  EXPECT_EQ(log_.lines()[2], "> Exportando dados para " + csv() + "/contagem.CSV");
}

TEST_F(CountExportTest, SettingsChooseTheFilesAndFolderSeparatorsAreNotDoubled) {
  CountTable({{"A1", "01", "1"}});
  settings_.make_txt = false;
  settings_.csv_folder = csv() + "/";
  ExportCounts();
  EXPECT_TRUE(FileNames(txt()).empty());
  EXPECT_EQ(log_.Take()[0], "> Exportando dados para " + csv() + "/IE120701.CSV");

  settings_.make_txt = true;
  settings_.make_csv = false;
  ExportCounts();
  EXPECT_EQ(FileNames(txt()), std::vector<std::string>{"IE120701.TXT"});
  EXPECT_EQ(FileNames(csv()), std::vector<std::string>{"IE120701.CSV"});

  settings_.make_txt = false;
  log_.Take();
  ExportCounts();
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(CountExportTest, MissingTableLogsAndCreatesNothing) {
  ExportCounts();
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"> Arquivo CONTAGEM.DBF não encontrado!",
                                                    "> Arquivo CONTAGEM.DBF não encontrado!"}));
  EXPECT_TRUE(FileNames(txt()).empty());
  EXPECT_TRUE(FileNames(csv()).empty());
}

TEST_F(CountExportTest, TableNamedInOtherLetterCaseIsFound) {
  MakeTable(dbf() + "/contagem.dbf", kCountSpecs, {{"A1", "01", "1"}});
  exchange_.ExportCsv(dbf(), "IE", "CONTAGEM.DBF");
  EXPECT_EQ(ReadFileBytes(csv() + "/IE120701.CSV"), "\"A1\",\"01\",1\r\n");
}

TEST_F(CountExportTest, MissingOutputFolderLeavesTheTableUnopened) {
  CountTable({{"A1", "01", "1"}});
  settings_.txt_folder = txt() + "/gone";
  ExportCounts();

  EXPECT_FALSE(fs::exists(txt() + "/gone"));
  ASSERT_EQ(log_.lines().size(), 3u);
  EXPECT_EQ(log_.lines()[0], "> Arquivo " + txt() + "/gone/IE120701.TXT não pode ser criado!");
  EXPECT_EQ(log_.lines()[2], "> Exportação de 1 registros concluída!");
}

TEST_F(CountExportTest, EmptyTableGivesEmptyFileAndCountZero) {
  CountTable({});
  exchange_.ExportText(dbf(), "IE", "CONTAGEM.DBF");
  EXPECT_EQ(ReadFileBytes(txt() + "/IE120701.TXT"), "");
  EXPECT_EQ(log_.lines(), std::vector<std::string>{"> Exportação de 0 registros concluída!"});
}

TEST_F(CountExportTest, FailedWriteIsNotReportedAsSuccess) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CountTable({{"A1", "01", "1"}});
  // The export is written under its work name, then renamed over the earlier one.
  WriteFileBytes(txt() + "/CONTAGEM.txt", "earlier");
  fs::create_symlink("/dev/full", txt() + "/CONTAGEM.txt.~part");
  exchange_.ExportText(dbf(), "", "CONTAGEM.DBF");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                              "> Exportando dados para " + txt() + "/CONTAGEM.txt",
                              "> Arquivo " + txt() + "/CONTAGEM.txt não pode ser gravado!",
                          }));
  EXPECT_FALSE(dataset_.Active());
  EXPECT_FALSE(fs::is_symlink(txt() + "/CONTAGEM.txt.~part"));  // the incomplete export is removed
  EXPECT_EQ(ReadFileBytes(txt() + "/CONTAGEM.txt"), "earlier");  // and the earlier one stays
}

TEST_F(CountExportTest, DatasetIsLeftClosedWithItsExclusiveFlagAsItWas) {
  CountTable({{"A1", "01", "1"}});
  MakeTable(dbf() + "/OUTRA.DBF", {"X;C;1;0"});
  for (bool exclusive : {false, true}) {
    SCOPED_TRACE(exclusive);
    // Open on another table before: the export closes it and opens its own.
    dataset_.SetExclusive(exclusive);
    dataset_.SetDatabaseName(dbf());
    dataset_.SetTableName("OUTRA.DBF");
    dataset_.Open();
    ExportCounts();
    EXPECT_FALSE(dataset_.Active());
    EXPECT_EQ(dataset_.Exclusive(), exclusive);
  }
  EXPECT_EQ(FileNames(csv()), (std::vector<std::string>{"IE120701.CSV", "IE120702.CSV"}));
}

TEST_F(CountExportTest, DamagedTableErrorPropagates) {
  WriteFileBytes(count_table(), "not a table at all");
  EXPECT_ANY_THROW(exchange_.ExportText(dbf(), "IE", "CONTAGEM.DBF"));
  for (const std::string& line : log_.lines()) EXPECT_EQ(line.find("concluída"), std::string::npos) << line;
  // No empty file is left to pass for an export, and the next one still takes 01.
  EXPECT_FALSE(fs::exists(txt() + "/IE120701.TXT"));
}

}  // namespace
}  // namespace quarvel
