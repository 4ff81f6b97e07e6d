// The product import: which lines become records and how, the emptying, sorting and moving of
// the tables and input files, the log, and input that must neither stop the import nor damage
// the table.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dataset/create_from_specs.h"
#include "dataset/table_dataset.h"
#include "handler/db_handler.h"
#include "exchange/data_exchange.h"
#include "exchange/handheld_tables.h"
#include "exchange/exchange_test_support.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

// Every record as its fields without trailing blanks joined by "|"; memo fields give their text.
std::vector<std::string> Rows(const std::string& path) {
  dbase::dBHandler table(path, "", false, true);
  std::vector<std::string> rows;
  for (int32_t r = 1; r <= table.record_count(); ++r) {
    table.GetRecord(r);
    std::string row;
    for (int f = 1; f <= table.field_count(); ++f) {
      std::string value = table.FieldType(f) == 'M' ? table.MemoRead(f) : table.FieldGet(f);
      while (!value.empty() && value.back() == ' ') value.pop_back();
      row += (f > 1 ? "|" : "") + value;
    }
    rows.push_back(row);
  }
  return rows;
}

// Fixed-width text: `text` cut or padded with blanks to `width`.
std::string Cell(const std::string& text, size_t width) {
  std::string cell = text.substr(0, width);
  cell.resize(width, ' ');
  return cell;
}

std::string ProductLine(const std::string& code, const std::string& description) {
  return Cell(code, 20) + Cell(description, 40);
}

class ProductImportTest : public exchange_test::ExchangeTest {
 protected:
  ProductImportTest() { CreateHandheldTables(home()); }

  // A template in the program folder for the generic tests.
  void Template(const std::string& name, const std::vector<std::string>& specs, uint8_t type = 3) {
    CreateTableFromSpecs(home() + "/" + name, "", type, specs);
  }

  void ImportProducts(const std::string& sort_key = "CODIGO", const std::string& table = "PRODUTOS.DBF") {
    exchange_.ImportProducts(dbf(), sort_key, table);
  }
};

TEST_F(ProductImportTest, SdfLinesNeedEveryWidthAndTheTableComesOutSortedByCode) {
  const std::string input = ProductLine("  300", " Sal ") + "\r\n" +             // blanks around go
                            ProductLine("100", "Arroz").substr(0, 59) + "\r\n" +  // one short: skipped
                            ProductLine("200", "Feijao") + "tail ignored\r\n" +   //
                            ProductLine("100", "Arroz") + "\r\n" +                // duplicate codes stay
                            ProductLine("050", "Cafe");                           // no line end at the end
  WriteFileBytes(txt() + "/PRODUTOS.txt", input);
  ImportProducts();
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"> Importando dados de " + txt() + "/PRODUTOS.txt", "   4 registros",
                                            "> Importação concluída!"}));
  EXPECT_EQ(Rows(dbf() + "/PRODUTOS.DBF"),
            (std::vector<std::string>{"050|Cafe", "100|Arroz", "200|Feijao", "300|Sal"}));
  // The input is kept as .bak only; the temporary table is gone; the template stays empty.
  EXPECT_FALSE(fs::exists(txt() + "/PRODUTOS.txt"));
  EXPECT_EQ(ReadFileBytes(txt() + "/PRODUTOS.bak"), input);
  EXPECT_FALSE(fs::exists(dbf() + "/TEMPSORT.DBF"));
  EXPECT_TRUE(Rows(home() + "/PRODUTOS.DBF").empty());
  EXPECT_FALSE(dataset_.Active());
  EXPECT_TRUE(dataset_.Exclusive());

  // The next load finds no input and leaves the table as it is.
  log_.Take();
  ImportProducts();
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(Rows(dbf() + "/PRODUTOS.DBF").size(), 4u);
}

TEST_F(ProductImportTest, CsvLinesNeedAValuePerFieldAndExtraValuesAreIgnored) {
  WriteFileBytes(csv() + "/PRODUTOS.csv",
                 "\"B2\",\"Box, small\"\r\n"  // a quoted comma belongs to the value
                 "\"only one\"\r\n"           // too few values: skipped
                 "\r\n"                       // no values: skipped
                 " A1 , Arroz ,extra,more\n"  // LF alone ends a line too
                 "\"C3,unbalanced\r\n");      // no closing quote: the first comma ends the value
  ImportProducts();
  EXPECT_EQ(log_.lines()[1], "   3 registros");
  EXPECT_EQ(Rows(dbf() + "/PRODUTOS.DBF"),
            (std::vector<std::string>{"\"C3|unbalanced", "A1|Arroz", "B2|Box, small"}));
}

TEST_F(ProductImportTest, WithBothFilesTheCsvImportRefillsTheTableAndItsBackupWins) {
  settings_.csv_folder = txt();  // one folder for both, so both move to the same .bak
  WriteFileBytes(txt() + "/PRODUTOS.txt", ProductLine("1", "from sdf") + "\r\n");
  WriteFileBytes(txt() + "/PRODUTOS.csv", "\"2\",\"from csv\"\r\n\"3\",\"also csv\"\r\n");
  ImportProducts();
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"> Importando dados de " + txt() + "/PRODUTOS.txt", "   1 registros",
                                            "> Importação concluída!",
                                            "> Importando dados de " + txt() + "/PRODUTOS.csv", "   2 registros",
                                            "> Importação concluída!"}));
  EXPECT_EQ(Rows(dbf() + "/PRODUTOS.DBF"), (std::vector<std::string>{"2|from csv", "3|also csv"}));
  EXPECT_EQ(ReadFileBytes(txt() + "/PRODUTOS.bak"), "\"2\",\"from csv\"\r\n\"3\",\"also csv\"\r\n");
}

TEST_F(ProductImportTest, AnInputWithoutRecordsStillEmptiesTheTable) {
  ImportProducts();  // nothing to import: the table does not even exist yet
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_FALSE(fs::exists(dbf() + "/PRODUTOS.DBF"));

  WriteFileBytes(csv() + "/PRODUTOS.csv", "\"1\",\"um\"\r\n");
  ImportProducts();
  WriteFileBytes(csv() + "/PRODUTOS.csv", "lonely\r\n");
  log_.Take();
  ImportProducts();
  EXPECT_EQ(log_.lines()[1], "   0 registros");
  EXPECT_TRUE(Rows(dbf() + "/PRODUTOS.DBF").empty());
  EXPECT_EQ(ReadFileBytes(csv() + "/PRODUTOS.bak"), "lonely\r\n");
}

TEST_F(ProductImportTest, AnInputThatCannotBeOpenedLeavesTheTableAlone) {
  WriteFileBytes(csv() + "/PRODUTOS.csv", "\"1\",\"um\"\r\n");
  ImportProducts();
  fs::create_directory(txt() + "/PRODUTOS.txt");  // found, but no file to read
  log_.Take();
  ImportProducts();
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"> Arquivo " + txt() + "/PRODUTOS.txt não pode ser aberto!",
                                            "> Importação concluída!"}));
  EXPECT_EQ(Rows(dbf() + "/PRODUTOS.DBF"), (std::vector<std::string>{"1|um"}));
}

TEST_F(ProductImportTest, InputNamesAreFoundWhateverTheirLetterCase) {
  WriteFileBytes(csv() + "/produtos.CSV", "\"1\",\"um\"\r\n");
  WriteFileBytes(csv() + "/Produtos.BAK", "older");
  ImportProducts();
  EXPECT_EQ(log_.lines()[0], "> Importando dados de " + csv() + "/produtos.CSV");
  EXPECT_EQ(Rows(dbf() + "/PRODUTOS.DBF"), (std::vector<std::string>{"1|um"}));
  // The older backup, in whatever case, gives way to the new one.
  EXPECT_EQ(ReadFileBytes(csv() + "/produtos.bak"), "\"1\",\"um\"\r\n");
  EXPECT_FALSE(fs::exists(csv() + "/Produtos.BAK"));
}

TEST_F(ProductImportTest, PrepareEmptyTableCopiesTheTemplateOrEmptiesItInPlace) {
  // A template holding records: a copy elsewhere is emptied, the template is not.
  dbase::dBHandler(home() + "/CONTAGEM.DBF", "", true, false).Append();
  const std::string nested = dir_.File("new/deeper");
  exchange_.PrepareEmptyTable(nested, "CONTAGEM.DBF");
  EXPECT_TRUE(Rows(nested + "/CONTAGEM.DBF").empty());
  EXPECT_EQ(Rows(home() + "/CONTAGEM.DBF").size(), 1u);
  EXPECT_FALSE(dataset_.Active());

  // The program folder named with blanks around it is the same folder: nothing is copied.
  exchange_.PrepareEmptyTable("  " + home() + " ", "CONTAGEM.DBF");
  EXPECT_TRUE(Rows(home() + "/CONTAGEM.DBF").empty());
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ProductImportTest, EachFieldTypeTakesItsConversion) {
  Template("ITENS.DBF",
           {"CODIGO;C;6;0", "HORA;C;8;0", "DATA;D;8;0", "ATIVO;L;1;0", "QTD;N;5;0", "PRECO;N;9;2", "PESO;F;7;1"});
  // SDF widths: 6 + 6 (HORA) + 8 + 1 + 5 + 9 + 7 = 42.
  WriteFileBytes(txt() + "/ITENS.txt",
                 "A     081530" "20240229" "T" " 12.7" "   -1.5e1" "   2.26" "\r\n"
                 "B      12   " "        " " " "12abc" "1,5      " "       " "\r\n"
                 "C     0815  " "20231305" "v" "-0003" "       .5" "  1E400" "\r\n");
  exchange_.ImportText(dbf(), "", "ITENS.DBF");
  EXPECT_EQ(log_.lines()[1], "   3 registros");
  EXPECT_EQ(Rows(dbf() + "/ITENS.DBF"),
            (std::vector<std::string>{
                // Six digits become HH:MM:SS; 29 February of a leap year stays; integers are cut to whole.
                "A|08:15:30|20240229|T|   12|   -15.00|    2.3",
                // Fewer than six characters keep no colons; the empty date is stored blank;
                // a blank logical is false; malformed numbers and overflows are 0.
                "B|12||F|    0|     0.00|    0.0",
                // Month 13 is clamped to 12.
                "C|0815|20231205|T|   -3|     0.50|    0.0"}));

  // In a CSV line HORA is plain text.
  WriteFileBytes(csv() + "/ITENS.csv", "\"D\",08:15:30,2024/01/31,1,7,3.14159,-2\r\n");
  exchange_.ImportCsv(dbf(), "", "ITENS.DBF");
  EXPECT_EQ(Rows(dbf() + "/ITENS.DBF"),
            (std::vector<std::string>{"D|08:15:30|20240131|T|    7|     3.14|   -2.0"}));
}

TEST_F(ProductImportTest, ALineThatCannotBeStoredIsLoggedAndTheImportGoesOn) {
  Template("LEITURA.DBF", {"CODIGO;C;4;0", "QTD;N;3;0"});
  WriteFileBytes(csv() + "/LEITURA.csv",
                 "B,1\r\n"
                 "A,1000\r\n"  // too big: the record stays pending with its code set, QTD 0
                 "C,2\r\n"     // whose insert posts the pending record
                 "D,-100\r\n");
  exchange_.ImportCsv(dbf(), "CODIGO", "LEITURA.DBF");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"> Importando dados de " + csv() + "/LEITURA.csv",
                                            "> numeric value too big in field QTD - 1000",
                                            "> numeric value too big in field QTD - -100",
                                            // D is still pending when counted, then posted by the sort
                                            "   3 registros", "> Importação concluída!"}));
  EXPECT_EQ(Rows(dbf() + "/LEITURA.DBF"), (std::vector<std::string>{"A|  0", "B|  1", "C|  2", "D|  0"}));
}

TEST_F(ProductImportTest, MemosFollowTheirRecordsIntoTheSortedTable) {
  for (const uint8_t type : {uint8_t{0}, uint8_t{2}, uint8_t{3}}) {
    SCOPED_TRACE(static_cast<int>(type));
    Template("NOTAS.DBF", {"CODIGO;C;4;0", "OBS;M;10;0"}, type);
    WriteFileBytes(csv() + "/NOTAS.csv", "c,third\r\na,\"first, with a comma\"\r\nb,\"\"\r\n");
    exchange_.ImportCsv(dbf(), "CODIGO", "NOTAS.DBF");
    EXPECT_EQ(Rows(dbf() + "/NOTAS.DBF"),
              (std::vector<std::string>{"a|first, with a comma", "b|", "c|third"}));
    EXPECT_FALSE(fs::exists(dbf() + "/TEMPSORT.DBF"));
    EXPECT_FALSE(fs::exists(dbf() + "/TEMPSORT.DBT"));
    EXPECT_FALSE(fs::exists(dbf() + "/TEMPSORT.FPT"));
    for (const char* memo : {"/NOTAS.DBT", "/NOTAS.FPT"}) fs::remove(dbf() + memo);
    fs::remove(home() + "/NOTAS.DBF");
  }
}

TEST_F(ProductImportTest, HostileLinesNeitherStopTheImportNorDamageTheTable) {
  std::string binary;
  for (int c = 0; c < 256; ++c) binary += static_cast<char>(c == '\n' ? 'x' : c);
  const std::string huge(1 << 20, 'Z');
  std::string commas(1 << 20, ',');
  const std::string sdf = binary + "\r\n" + huge + "\r\n" + std::string("\0\0\r\r", 4) + "\r\n" +
                          ProductLine("ok", "plain") + "\r\n\x1A";
  WriteFileBytes(txt() + "/PRODUTOS.txt", sdf);
  WriteFileBytes(csv() + "/PRODUTOS.csv", "\"" + huge + "\r\n" + commas + "\r\n\"\"\"\",\"\r\n" + binary +
                                              "\r\n" + std::string("\0,\0", 3) + "\r\n");
  settings_.csv_folder = csv();
  exchange_.ImportText(dbf(), "CODIGO", "PRODUTOS.DBF");
  EXPECT_EQ(log_.lines()[1], "   3 registros");
  const std::vector<std::string> rows = Rows(dbf() + "/PRODUTOS.DBF");
  ASSERT_EQ(rows.size(), 3u);
  // Sorted by the code's bytes: the binary line, the 1 MB one cut by its fields, then "ok".
  EXPECT_EQ(rows[1], "ZZZZZZZZZZZZZZZZZZZZ|ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ");
  EXPECT_EQ(rows[2], "ok|plain");

  log_.Take();
  exchange_.ImportCsv(dbf(), "CODIGO", "PRODUTOS.DBF");
  // Skipped: the unbalanced quote without a comma (one value). Kept: a million commas, the
  // quotes, the binary line and the NUL bytes.
  EXPECT_EQ(log_.lines()[1], "   4 registros");
  // Whatever was stored, the table is whole: header, records and end mark add up.
  dbase::dBHandler table(dbf() + "/PRODUTOS.DBF", "", false, true);
  EXPECT_EQ(static_cast<int64_t>(fs::file_size(dbf() + "/PRODUTOS.DBF")),
            int64_t{table.header_length()} + int64_t{table.record_count()} * table.record_length() + 1);
}

TEST_F(ProductImportTest, ABadSortKeyIsTheCallersErrorAndTheInputIsKept) {
  WriteFileBytes(csv() + "/PRODUTOS.csv", "\"1\",\"um\"\r\n");
  EXPECT_ANY_THROW(ImportProducts("NOSUCHFIELD+"));
  EXPECT_TRUE(fs::exists(csv() + "/PRODUTOS.csv"));
}

}  // namespace
}  // namespace quarvel
