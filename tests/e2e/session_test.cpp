// Whole HotSync sessions through SimulatedHotSync, compared line by line with the log texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/session_fixture.h"

namespace quarvel::e2e {
namespace {

using Lines = std::vector<std::string>;

const char* kEnd = "> Sincronização encerrada. Aguardando um \"novo\" HotSync® ...";

class SessionTest : public ::testing::Test, public SessionFixture {
 protected:
  std::string Uf(const std::string& name) const { return user_folder() + "/" + name; }
  std::string Home(const std::string& name) const { return home() + "/" + name; }
  std::string Start() const { return "> Iniciando sincronização do Palm Ana Souza..."; }
  std::string Received(const std::string& path) const {
    return "> Arquivo " + path + " recebido do Palm com sucesso. ";
  }
  std::string Sent(const std::string& path) const {
    return "> Arquivo " + path + " enviado ao Palm com sucesso.";
  }
};

TEST_F(SessionTest, Load) {
  Request({{"C", "PRODUTOS.DBF"}});
  SessionFixture::Start();
  EXPECT_EQ(Session(), (Lines{Start(), Received(Uf("COMUNICA.DBF")),
                              "> Carga de arquivos solicitada pelo usuário...",
                              "[ImportProducts " + home() + " CODIGO PRODUTOS.DBF]",
                              Sent(Home("PRODUTOS.DBF")), Sent(Uf("COMUNICA.DBF")), "", kEnd, ""}));
  // The request went back marked; the product table reached the handheld.
  EXPECT_EQ(Rows(handheld() + "/COMUNICA.DBF"), (Lines{"X|*           "}));
  EXPECT_TRUE(std::filesystem::exists(handheld() + "/PRODUTOS.DBF"));
  EXPECT_FALSE(app().State().counts_received);
  EXPECT_EQ(app().Window().EscapedErrors(), 0);
}

TEST_F(SessionTest, Unload) {
  Request({{"D", "CONTAGEM.DBF"}});
  HandheldCounts();
  SessionFixture::Start();
  EXPECT_EQ(Session(),
            (Lines{Start(), Received(Uf("COMUNICA.DBF")),
                   "> Descarga de arquivos solicitada pelo usuário...",
                   Received(Home("CONTAGEM.DBF")),
                   "[PrepareEmptyTable " + user_folder() + " CONTAGEM.DBF]",
                   Sent(Uf("COMUNICA.DBF")), Sent(Uf("CONTAGEM.DBF")),
                   "[ExportCounts " + home() + " IE CONTAGEM.DBF]",
                   "[ExportDbf " + home() + " IE CONTAGEM.DBF]", "", kEnd, ""}));
  EXPECT_TRUE(app().State().counts_received);
  // The counts are in the dBase folder; the handheld got the empty template back.
  EXPECT_EQ(Rows(Home("CONTAGEM.DBF")).size(), 2u);
  EXPECT_TRUE(Rows(handheld() + "/CONTAGEM.DBF").empty());
  EXPECT_EQ(Rows(handheld() + "/COMUNICA.DBF"), (Lines{"X|*           "}));
}

TEST_F(SessionTest, UnloadWithTheDbaseExportSwitchedOff) {
  Request({{"D", ""}});
  HandheldCounts();
  testsupport::WriteFileBytes(Home("quarvel-pc.ini"), "[DO]\nDBF=N\n");
  SessionFixture::Start();
  const Lines lines = Session();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "[ExportCounts " + home() + " IE CONTAGEM.DBF]"),
            lines.end());
  EXPECT_EQ(std::find(lines.begin(), lines.end(), "[ExportDbf " + home() + " IE CONTAGEM.DBF]"),
            lines.end());
}

TEST_F(SessionTest, LowerCaseRequestsAreAccepted) {
  Request({{"d", ""}});
  HandheldCounts();
  SessionFixture::Start();
  EXPECT_EQ(Session().at(2), "> Descarga de arquivos solicitada pelo usuário...");
  Request({{"c", ""}});
  EXPECT_EQ(Session().at(2), "> Carga de arquivos solicitada pelo usuário...");
}

TEST_F(SessionTest, NoRequestInAnEmptyTable) {
  Request({});
  SessionFixture::Start();
  EXPECT_EQ(Session(), (Lines{Start(), Received(Uf("COMUNICA.DBF")),
                              "> Nenhuma operação solicitada pelo usuário!",
                              Sent(Uf("COMUNICA.DBF")), "", kEnd, ""}));
  EXPECT_TRUE(Rows(handheld() + "/COMUNICA.DBF").empty());
}

TEST_F(SessionTest, RequestAlreadyMarkedIsNoRequest) {
  Request({{"X", "*"}});
  SessionFixture::Start();
  EXPECT_EQ(Session(), (Lines{Start(), Received(Uf("COMUNICA.DBF")),
                              "> Nenhuma operação solicitada pelo usuário!",
                              Sent(Uf("COMUNICA.DBF")), "", kEnd, ""}));
  // Only the first record is read and marked.
  Request({{"Q", "A"}, {"C", "B"}});
  const Lines lines = Session();
  EXPECT_EQ(lines.at(2), "> Nenhuma operação solicitada pelo usuário!");
  EXPECT_EQ(Rows(handheld() + "/COMUNICA.DBF"), (Lines{"X|*           ", "C|B           "}));
}

TEST_F(SessionTest, FailedReceiveDeletesWhatItLeftAndEndsTheWork) {
  Request({{"C", ""}});
  SessionFixture::Start();
  app().HotSync().InjectFault({TransferKind::kReceive, "COMUNICA.DBF", true});
  EXPECT_EQ(Session(), (Lines{Start(), "> Falha recebendo do Palm o arquivo " + Uf("COMUNICA.DBF") + ".",
                              "", kEnd, ""}));
  EXPECT_FALSE(std::filesystem::exists(Uf("COMUNICA.DBF")));
  EXPECT_EQ(Rows(handheld() + "/COMUNICA.DBF"), (Lines{"C|            "}));
}

TEST_F(SessionTest, FailedSendWithCommandType8HasNoFailureText) {
  Request({{"X", ""}});
  SessionFixture::Start();
  app().HotSync().SetSendCmdType(kCmdSentAlt);
  app().HotSync().InjectFault({TransferKind::kSend, "COMUNICA.DBF", false});
  EXPECT_EQ(Session(), (Lines{Start(), Received(Uf("COMUNICA.DBF")),
                              "> Nenhuma operação solicitada pelo usuário!",
                              "> " + Uf("COMUNICA.DBF") + ".", "", kEnd, ""}));
  // The desktop copy stays as it is.
  EXPECT_TRUE(std::filesystem::exists(Uf("COMUNICA.DBF")));
  app().HotSync().ClearFaults();
  EXPECT_EQ(Session().at(3), Sent(Uf("COMUNICA.DBF")));  // 8 is a send all the same
}

TEST_F(SessionTest, FailedSendWithCommandType3SaysSo) {
  Request({{"C", ""}});
  SessionFixture::Start();
  app().HotSync().InjectFault({TransferKind::kSend, "PRODUTOS.DBF", false});
  EXPECT_EQ(Session().at(4), "> Falha enviando ao Palm o arquivo " + Home("PRODUTOS.DBF") + ".");
}

TEST_F(SessionTest, UserMissingFromTheListUsesTheFormsFolderUnderTheRoot) {
  testsupport::WriteFileBytes(handheld() + "/handheld.ini", "[HotSync]\nUser=Carla\n");
  Request({{"X", ""}});
  SessionFixture::Start();
  const Lines lines = Session();
  EXPECT_EQ(lines.at(0), "> Iniciando sincronização do Palm Carla...");
  EXPECT_EQ(lines.at(1), Received(root() + "/SatFormsSE/COMUNICA.DBF"));
  EXPECT_EQ(app().State().user_folder, root() + "/SatFormsSE");
}

TEST_F(SessionTest, NoCountTableInTheSessionMeansNoExport) {
  Request({{"D", ""}});  // the handheld has no CONTAGEM.DBF
  SessionFixture::Start();
  EXPECT_EQ(Session(), (Lines{Start(), Received(Uf("COMUNICA.DBF")),
                              "> Descarga de arquivos solicitada pelo usuário...",
                              "> Falha recebendo do Palm o arquivo " + Home("CONTAGEM.DBF") + ".",
                              Sent(Uf("COMUNICA.DBF")), "", kEnd, ""}));
  EXPECT_FALSE(app().State().counts_received);
}

TEST_F(SessionTest, NoEventsWhileSupportIsOff) {
  Request({{"C", ""}});
  SessionFixture::Start();
  app().Window().ClickDeactivate();
  app().AppLog().Clear();
  EXPECT_TRUE(Session().empty());
}

TEST_F(SessionTest, ADamagedRequestTableEscapesAndTheSessionStillEnds) {
  testsupport::WriteFileBytes(handheld() + "/COMUNICA.DBF", "this is no table");
  SessionFixture::Start();
  EXPECT_EQ(Session(), (Lines{Start(), Received(Uf("COMUNICA.DBF")), "", kEnd, ""}));
  EXPECT_EQ(app().Window().EscapedErrors(), 1);
  ASSERT_EQ(shell().exceptions().size(), 1u);
  // The next session works again once the handheld has a sound table.
  Request({{"X", ""}});
  EXPECT_EQ(Session().at(2), "> Nenhuma operação solicitada pelo usuário!");
}

}  // namespace
}  // namespace quarvel::e2e
