// Whole HotSync sessions with the real product import and count exports: what the handheld
// receives, the log, and the export files byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/session_fixture.h"
#include "exchange/handheld_tables.h"
#include "support/table_bytes.h"

namespace quarvel::e2e {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

const char* kEnd = "> Sincronização encerrada. Aguardando um \"novo\" HotSync® ...";

class ExchangeSessionTest : public ::testing::Test, public SessionFixture {
 protected:
  ExchangeSessionTest() { UseRealExchange(); }

  std::string Uf(const std::string& name) const { return user_folder() + "/" + name; }
  std::string dir_csv() const { return fs::path(home()).parent_path().string() + "/csv"; }
  std::string Home(const std::string& name) const { return home() + "/" + name; }
  std::string Received(const std::string& path) const {
    return "> Arquivo " + path + " recebido do Palm com sucesso. ";
  }
  std::string Sent(const std::string& path) const { return "> Arquivo " + path + " enviado ao Palm com sucesso."; }
  Lines LoadSession() {
    Request({{"C", "PRODUTOS.DBF"}});
    SessionFixture::Start();
    return Session();
  }
  Lines LoadLines(const Lines& import) {
    Lines lines = {"> Iniciando sincronização do Palm Ana Souza...", Received(Uf("COMUNICA.DBF")),
                   "> Carga de arquivos solicitada pelo usuário..."};
    lines.insert(lines.end(), import.begin(), import.end());
    for (const std::string& line : {Sent(Home("PRODUTOS.DBF")), Sent(Uf("COMUNICA.DBF")), std::string(),
                                    std::string(kEnd), std::string()}) {
      lines.push_back(line);
    }
    return lines;
  }
  // The handheld's count table: two counts and one deleted record.
  void Counts() {
    HandheldCounts();
    dbase::dBHandler table(handheld() + "/CONTAGEM.DBF", "", true, false);
    table.Blank();
    table.StringPut(1, "DELETED");
    table.Append();
    table.Delete();
  }
  Lines UnloadSession() {
    Request({{"D", "CONTAGEM.DBF"}});
    Counts();
    if (!started_) SessionFixture::Start();
    started_ = true;
    return Session();
  }

  bool started_ = false;
};

const std::string kSdfProducts = std::string("7896004000015       Feij\xE3o carioca 1 kg                     \r\n") +
                                 "7891000100103       Caf\xE9 torrado 500 g                      \r\n";
const std::string kCsvProducts = "\"7891910000197\",\"\xD3leo de soja 900 ml\"\r\n\"7891000053508\",\"Arroz, 5 kg\"\r\n";

TEST_F(ExchangeSessionTest, ALoadFromTheSdfFileSendsTheSortedProducts) {
  WriteFileBytes(Home("PRODUTOS.txt"), kSdfProducts);
  EXPECT_EQ(LoadSession(), LoadLines({"> Importando dados de " + Home("PRODUTOS.txt"), "   2 registros",
                                      "> Importação concluída!"}));
  EXPECT_EQ(Rows(handheld() + "/PRODUTOS.DBF"),
            (Lines{"7891000100103       |Caf\xE9 torrado 500 g                      ",
                   "7896004000015       |Feij\xE3o carioca 1 kg                     "}));
  EXPECT_EQ(ReadFileBytes(Home("PRODUTOS.bak")), kSdfProducts);
  EXPECT_EQ(app().Window().EscapedErrors(), 0);
}

TEST_F(ExchangeSessionTest, ALoadFromTheCsvFileReadsItsRepositoryFolder) {
  fs::create_directories(dir_csv());
  WriteFileBytes(Home("quarvel-pc.ini"), "[DIR]\nCSV=" + dir_csv() + "\n");
  WriteFileBytes(dir_csv() + "/PRODUTOS.csv", kCsvProducts);
  EXPECT_EQ(LoadSession(), LoadLines({"> Importando dados de " + dir_csv() + "/PRODUTOS.csv", "   2 registros",
                                      "> Importação concluída!"}));
  EXPECT_EQ(Rows(handheld() + "/PRODUTOS.DBF"),
            (Lines{"7891000053508       |Arroz, 5 kg                             ",
                   "7891910000197       |\xD3leo de soja 900 ml                     "}));
}

TEST_F(ExchangeSessionTest, ALoadWithBothFilesSendsTheCsvProducts) {
  WriteFileBytes(Home("PRODUTOS.txt"), kSdfProducts);
  WriteFileBytes(Home("PRODUTOS.csv"), kCsvProducts);
  EXPECT_EQ(LoadSession(), LoadLines({"> Importando dados de " + Home("PRODUTOS.txt"), "   2 registros",
                                      "> Importação concluída!", "> Importando dados de " + Home("PRODUTOS.csv"),
                                      "   2 registros", "> Importação concluída!"}));
  EXPECT_EQ(Rows(handheld() + "/PRODUTOS.DBF").front().substr(0, 13), "7891000053508");
  EXPECT_EQ(ReadFileBytes(Home("PRODUTOS.bak")), kCsvProducts);
}

TEST_F(ExchangeSessionTest, AnUnloadWritesTheDatedExportsByteForByte) {
  const Lines lines = UnloadSession();
  const Lines tail(lines.end() - 9, lines.end());
  EXPECT_EQ(tail, (Lines{"> Exportando dados para " + Home("IE120701.TXT"), "> Exportação de 2 registros concluída!",
                         "> Exportando dados para " + Home("IE120701.CSV"), "> Exportação de 2 registros concluída!",
                         // The count is the table's, deleted record included; the copy leaves it out.
                         "> Exportando dados para IE120701.DBF", "> Exportação de 3 registros concluída!", "",
                         kEnd, ""}));
  EXPECT_EQ(ReadFileBytes(Home("IE120701.TXT")),
            "7891000100103       01  000024\r\n"
            "7896004000015       02  000118\r\n");
  EXPECT_EQ(ReadFileBytes(Home("IE120701.CSV")),
            "\"7891000100103\",\"01\",24\r\n"
            "\"7896004000015\",\"02\",118\r\n");

  const std::vector<testsupport::RawField> fields = {{"CODIGO", 'C', 20}, {"LOJA", 'C', 4}, {"ESTOQUE", 'N', 6}};
  std::string expected = testsupport::TableBytes(
      0x03, fields, {" 7891000100103       01      24", " 7896004000015       02     118"});
  // The header's date of last update (years since 1900) is the day the copy was written; its
  // change stamp, the time of day.
  const std::string copy = ReadFileBytes(Home("IE120701.DBF"));
  ASSERT_EQ(copy.size(), expected.size());
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(copy.substr(1, 3), std::string({static_cast<char>(local.tm_year), static_cast<char>(local.tm_mon + 1),
                                            static_cast<char>(local.tm_mday)}));
  expected.replace(1, 3, copy.substr(1, 3));
  expected.replace(16, 4, copy.substr(16, 4));
  EXPECT_EQ(copy, expected);
}

TEST_F(ExchangeSessionTest, AnUnloadRendersEveryFieldTypeOfTheHandheldsLayout) {
  Request({{"D", "CONTAGEM.DBF"}});
  // The handheld's own layout, whatever the desktop's template: every field is exported.
  const std::string counts = handheld() + "/CONTAGEM.DBF";
  MakeTable(counts, {"CODIGO;C;6;0", "HORA;C;8;0", "DATA;D;8;0", "OK;L;1;0", "QTD;N;6;0", "PESO;N;6;2"},
            {{"A1", "08:15:30", "20261207", "T", "-5", "1.5"}, {"B2", "", "", "F", "0", "0"}});
  {
    // A value wider than its field, as another writer may leave it.
    dbase::dBHandler table(counts, "", true, false);
    table.GetRecord(2);
    table.FieldPut(6, "999999");
    table.PutRecord(2);
  }
  SessionFixture::Start();
  Session();
  EXPECT_EQ(ReadFileBytes(Home("IE120701.TXT")),
            "A1    08153020261207T0000-5001.50\r\n"
            "B2                  F000000999999.00\r\n");
  EXPECT_EQ(ReadFileBytes(Home("IE120701.CSV")),
            "\"A1\",08:15:30,2026/12/07,TRUE,-5,1.50\r\n"
            "\"B2\",,,FALSE,0,999999.00\r\n");
  EXPECT_EQ(Rows(Home("IE120701.DBF")).size(), 2u);
  EXPECT_EQ(app().Window().EscapedErrors(), 0);
}

TEST_F(ExchangeSessionTest, TwoUnloadsOnOneDayTakeSequenceOneAndTwoAndTheNextDayStartsAgain) {
  UnloadSession();
  UnloadSession();
  today = {2026, 12, 8};
  UnloadSession();
  for (const char* name : {"IE120701", "IE120702", "IE120801"}) {
    for (const char* extension : {".TXT", ".CSV", ".DBF"}) {
      EXPECT_TRUE(fs::exists(Home(std::string(name) + extension))) << name << extension;
    }
  }
  EXPECT_FALSE(fs::exists(Home("IE120703.TXT")));
  EXPECT_EQ(ReadFileBytes(Home("IE120702.TXT")), ReadFileBytes(Home("IE120701.TXT")));
  EXPECT_EQ(app().Window().EscapedErrors(), 0);
}

TEST_F(ExchangeSessionTest, AnUnloadWithEveryNameOfTheDayTakenOverwritesNothing) {
  for (int n = 0; n < 100; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "IE1207%02d.TXT", n);
    WriteFileBytes(Home(name), "earlier");
  }
  const Lines lines = UnloadSession();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "> Arquivos IE120701.TXT a IE120700.TXT já existem em " + home() + ": exportação não realizada!"),
            lines.end());
  EXPECT_EQ(ReadFileBytes(Home("IE120701.TXT")), "earlier");
  // The other exports go on.
  EXPECT_TRUE(fs::exists(Home("IE120701.CSV")));
  EXPECT_TRUE(fs::exists(Home("IE120701.DBF")));
}

// Two handhelds in one run: the second's user folder cannot be created (a plain file stands where
// it should be). The failure is logged, and the first session's counts are not exported again.
TEST_F(ExchangeSessionTest, ASessionWhoseUserFolderCannotBeCreatedExportsNothing) {
  UnloadSession();
  ASSERT_TRUE(fs::exists(Home("IE120701.TXT")));
  WriteFileBytes(root() + "/LimaB", "not a folder");
  WriteFileBytes(handheld() + "/handheld.ini", "[HotSync]\nUser=Bruno Lima\n");
  const Lines lines = Session();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "> Iniciando sincronização do Palm Bruno Lima...");
  EXPECT_EQ(lines[1].rfind("> filesystem error: cannot create directories", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find(root() + "/LimaB/SatFormsSE"), std::string::npos) << lines[1];
  EXPECT_EQ(Lines(lines.begin() + 2, lines.end()), (Lines{"", kEnd, ""}));
  EXPECT_FALSE(app().State().counts_received);
  for (const char* extension : {".TXT", ".CSV", ".DBF"}) {
    EXPECT_FALSE(fs::exists(Home(std::string("IE120702") + extension))) << extension;
  }
  EXPECT_EQ(app().Window().EscapedErrors(), 0);
}

// The dBase folder holds the product table under a lower-case name: the import fills that file and
// the same file is sent, session after session, with no upper-case twin made beside it.
TEST_F(ExchangeSessionTest, AProductTableOfOtherLetterCaseIsFilledAndSent) {
  CreateTableFromSpecs(Home("produtos.dbf"), "", kHandheldTableType, ProductTableSpecs());
  WriteFileBytes(Home("PRODUTOS.txt"), kSdfProducts);
  Lines expected = LoadLines({"> Importando dados de " + Home("PRODUTOS.txt"), "   2 registros", "> Importação concluída!"});
  std::replace(expected.begin(), expected.end(), Sent(Home("PRODUTOS.DBF")), Sent(Home("produtos.dbf")));
  EXPECT_EQ(LoadSession(), expected);
  EXPECT_EQ(Rows(handheld() + "/PRODUTOS.DBF").size(), 2u);

  WriteFileBytes(Home("PRODUTOS.txt"), "7891000053508       Arroz 5 kg                              \r\n");
  EXPECT_EQ(LoadSession().at(6), Sent(Home("produtos.dbf")));
  EXPECT_EQ(Rows(handheld() + "/PRODUTOS.DBF"), (Lines{"7891000053508       |Arroz 5 kg                              "}));
  for (const auto& entry : fs::directory_iterator(home())) EXPECT_NE(entry.path().filename(), "PRODUTOS.DBF");
  EXPECT_EQ(app().Window().EscapedErrors(), 0);
}

// A count table whose header the engine refuses ends the session normally: the engine's message
// is in the log, the handheld gets no emptied table (so it keeps its counts) and the received
// table is kept. A nameless first field is no reason to refuse: that table goes through.
TEST_F(ExchangeSessionTest, ACountTableWithAnOddHeaderEndsTheSessionNormallyAndLosesNoCount) {
  Request({{"D", "CONTAGEM.DBF"}});
  HandheldCounts();
  const std::string good = ReadFileBytes(handheld() + "/CONTAGEM.DBF");
  std::string bad = good;
  bad[10] = 40;  // record length 40 for 31 bytes of fields
  WriteFileBytes(handheld() + "/CONTAGEM.DBF", bad);
  SessionFixture::Start();
  Lines lines = Session();
  EXPECT_EQ(app().Window().EscapedErrors(), 0);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "> Table Header for " + Home("CONTAGEM.DBF") + " is invalid"),
            lines.end());
  EXPECT_EQ(lines[lines.size() - 2], kEnd);
  EXPECT_EQ(lines[lines.size() - 4],
            "> Exportação incompleta: as contagens recebidas foram guardadas em " + Home("CONTAGEM-20261207-01.DBF"));
  EXPECT_EQ(ReadFileBytes(handheld() + "/CONTAGEM.DBF"), bad);
  EXPECT_EQ(ReadFileBytes(Home("CONTAGEM-20261207-01.DBF")), bad);

  std::string nameless = good;
  nameless[32] = '\0';
  WriteFileBytes(handheld() + "/CONTAGEM.DBF", nameless);
  Request({{"D", "CONTAGEM.DBF"}});
  lines = Session();
  EXPECT_EQ(app().Window().EscapedErrors(), 0);
  EXPECT_EQ(Rows(handheld() + "/CONTAGEM.DBF").size(), 0u);  // emptied, as usual
  EXPECT_EQ(ReadFileBytes(Home("IE120701.TXT")),
            "7891000100103       01  000024\r\n7896004000015       02  000118\r\n");
  EXPECT_FALSE(fs::exists(Home("CONTAGEM-20261207-02.DBF")));
}

}  // namespace
}  // namespace quarvel::e2e
