// The quarvel-pc program itself: --demo, --headless --sync and sessions read from standard input,
// with their output and exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "e2e/session_fixture.h"

namespace quarvel::e2e {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
};

// Runs a shell command line and collects its standard output.
Outcome Execute(const std::string& command) {
  Outcome run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

class QuarvelPcTest : public ::testing::Test, public SessionFixture {
 protected:
  std::string Program() const {
    return std::string(QUARVEL_PC) + " --headless --home " + Quote(home()) + " --hotsync-root " +
           Quote(root());
  }
};

TEST(QuarvelPc, DemoRunsALoadAndAnUnloadAndListsTheFiles) {
  testsupport::TempDir tmp;
  const Outcome run = Execute("TMPDIR=" + Quote(tmp.path()) + " " + QUARVEL_PC + " --demo 2>&1");
  EXPECT_EQ(run.status, 0) << run.out;
  for (const char* expected :
       {"> Suporte ativado.", "> Carga de arquivos solicitada pelo usuário...",
        "> Descarga de arquivos solicitada pelo usuário...",
        "> Sincronização encerrada. Aguardando um \"novo\" HotSync® ...",
        "> Suporte HotSync® desativado.", "== Arquivos gravados",
        "alterado handhelds/descarga/COMUNICA.DBF", "novo     home/CONTAGEM.DBF"}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  }
}

TEST_F(QuarvelPcTest, SyncRunsOneSessionAndEndsWithSupportOff) {
  Request({{"X", ""}});
  const Outcome run = Execute(Program() + " --sync " + Quote(handheld()) + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.out;
  const std::string session =
      "> Iniciando sincronização do Palm Ana Souza...\n"
      "> Arquivo " + user_folder() + "/COMUNICA.DBF recebido do Palm com sucesso. \n"
      "> Nenhuma operação solicitada pelo usuário!\n"
      "> Arquivo " + user_folder() + "/COMUNICA.DBF enviado ao Palm com sucesso.\n"
      "\n> Sincronização encerrada. Aguardando um \"novo\" HotSync® ...\n\n"
      "\n> Suporte HotSync® desativado.\n\n\n\n";
  ASSERT_GE(run.out.size(), session.size()) << run.out;
  EXPECT_EQ(run.out.substr(run.out.size() - session.size()), session);
  EXPECT_EQ(run.out.rfind("   Módulo de Suporte à Comunicação de Dados via HotSync®\n", 0), 0u);
}

TEST_F(QuarvelPcTest, WithoutTheConduitNoSessionRunsAndTheStatusSaysSo) {
  std::filesystem::remove(root() + "/hotsync.reg");
  Request({{"C", ""}});
  const Outcome run = Execute(Program() + " --sync " + Quote(handheld()) + " 2>&1");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Condutor Satellite Forms 3.5 para aplicações QVPC não registrado."),
            std::string::npos);
  EXPECT_EQ(run.out.find("Iniciando sincronização"), std::string::npos);
}

TEST_F(QuarvelPcTest, HeadlessRunsASessionPerFolderReadFromInput) {
  Request({{"X", ""}});
  const Outcome run = Execute("printf '%s\\n\\n%s\\n' " + Quote(handheld()) + " " +
                          Quote(handheld() + "/missing") + " | " + Program() + " 2>&1");
  EXPECT_EQ(run.status, 1);  // the second folder does not exist
  EXPECT_NE(run.out.find("> Iniciando sincronização do Palm Ana Souza..."), std::string::npos);
  EXPECT_NE(run.out.find("Handheld folder " + handheld() + "/missing does not exist"),
            std::string::npos);
  EXPECT_NE(run.out.find("> Suporte HotSync® desativado."), std::string::npos);
}

TEST_F(QuarvelPcTest, AnEscapedFailureMakesTheExitStatusOne) {
  testsupport::WriteFileBytes(handheld() + "/COMUNICA.DBF", "no table");
  const Outcome run = Execute(Program() + " --sync " + Quote(handheld()) + " 2>&1");
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("Erro: "), std::string::npos);
}

}  // namespace
}  // namespace quarvel::e2e
