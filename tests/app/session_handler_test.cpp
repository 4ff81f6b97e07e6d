// The session handler against a scripted control and request table: what only a hand-made event
// can show (unknown names and status codes, a failing mark, the user list, the HotSync root).
#include "app/session_handler.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace quarvel {
namespace {

using Lines = std::vector<std::string>;

class ScriptedControl : public SyncControl {
 public:
  std::string PilotUserName() const override { return user; }
  int32_t CmdType() const override { return cmd_type; }
  std::string CmdFilename() const override { return cmd_filename; }
  bool Enabled() const override { return enabled; }
  void SetEnabled(bool on) override { enabled = on; }
  void SendFile(const std::string& path) override { calls.push_back("send " + path); }
  void ReceiveFile(const std::string& path) override { calls.push_back("receive " + path); }
  int32_t GetFirstUser(HotSyncUser& out) override {
    next = 0;
    if (users.empty()) return 0;
    out = users[next++];
    return 1;
  }
  int32_t GetNextUser(HotSyncUser& out) override {
    if (next >= users.size()) return 0;
    out = users[next++];
    return 1;
  }

  std::string user = "Ana";
  int32_t cmd_type = 0;
  std::string cmd_filename;
  bool enabled = true;
  std::vector<HotSyncUser> users;
  std::size_t next = 0;
  Lines calls;
};

class ScriptedRequests : public RequestTable {
 public:
  void Open(const std::string& folder, const std::string& table) override {
    calls.push_back("open " + folder + " " + table);
    if (fail_open) throw std::runtime_error("Cannot find file " + folder + "/" + table);
  }
  void Close() override { calls.push_back("close"); }
  bool IsEmpty() override { return operation.empty(); }
  std::string FieldText(const std::string& name) override {
    if (name != "OPERACAO") throw std::runtime_error("unexpected field " + name);
    return operation;
  }
  void Edit() override {
    calls.push_back("edit");
    if (fail_edit) throw std::runtime_error("Record is locked by another user");
  }
  void SetFieldText(const std::string& name, const std::string& value) override {
    calls.push_back("set " + name + "=" + value);
  }
  void Post() override { calls.push_back("post"); }

  std::string operation;
  bool fail_open = false;
  bool fail_edit = false;
  Lines calls;
};

class NoExchange : public ExchangeOperations {
 public:
  void ImportProducts(const std::string&, const std::string&, const std::string&) override {
    calls.push_back("import");
  }
  void PrepareEmptyTable(const std::string&, const std::string&) override {
    calls.push_back("prepare");
  }
  void ExportCounts(const std::string&, const std::string&, const std::string&) override {
    calls.push_back("export");
  }
  void ExportDbf(const std::string&, const std::string&, const std::string&) override {
    calls.push_back("dbf");
  }
  Lines calls;
};

class SessionHandlerTest : public ::testing::Test {
 protected:
  SessionHandlerTest() {
    state_.program_folder = dir_.path() + "/prog";
    state_.settings = {true, true, true, "/t", "/c", dir_.path() + "/dbf"};
    rule_.explicit_root = dir_.path() + "/root";
  }
  SessionHandler Handler() { return SessionHandler(control_, log_, state_, requests_, exchange_, rule_); }
  void Received(SessionHandler& handler, const std::string& path) {
    control_.cmd_type = kCmdReceived;
    control_.cmd_filename = path;
    handler.OnHotSyncStatus(kStatusTransferDone, kTransferOk);
  }

  testsupport::TempDir dir_;
  ScriptedControl control_;
  Log log_;
  AppState state_;
  ScriptedRequests requests_;
  NoExchange exchange_;
  HotSyncRootRule rule_;
};

TEST_F(SessionHandlerTest, OtherStatusCodesDoNothing) {
  SessionHandler handler = Handler();
  for (int32_t code : {0, 4, -1, 100}) handler.OnHotSyncStatus(code, 1);
  EXPECT_TRUE(log_.Lines().empty());
  EXPECT_TRUE(control_.calls.empty());
}

TEST_F(SessionHandlerTest, SessionStartCreatesTheUserFolderAndAsksForTheRequest) {
  control_.users = {{1, "Bruno", "LimaB", 0}, {2, "Ana", "  SouzaA  ", 0}};
  state_.counts_received = true;
  SessionHandler handler = Handler();
  handler.OnHotSyncStatus(kStatusSessionStart, 0);
  const std::string folder = dir_.path() + "/root/SouzaA/SatFormsSE";
  EXPECT_EQ(log_.Lines(), (Lines{"> Iniciando sincronização do Palm Ana..."}));
  EXPECT_EQ(state_.user_folder, folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(control_.calls, (Lines{"receive " + folder + "/COMUNICA.DBF"}));
  EXPECT_FALSE(state_.counts_received);
}

TEST_F(SessionHandlerTest, UserFolderNameNeedsSupportOnAndAnExactName) {
  control_.users = {{1, "Ana", " A ", 0}};
  SessionHandler handler = Handler();
  EXPECT_EQ(handler.UserFolderName("Ana"), "A");
  EXPECT_EQ(handler.UserFolderName("ana"), "");
  EXPECT_EQ(handler.UserFolderName("Bruno"), "");
  control_.enabled = false;
  EXPECT_EQ(handler.UserFolderName("Ana"), "");
}

TEST_F(SessionHandlerTest, AnyOtherReceivedFileIsOnlyLogged) {
  SessionHandler handler = Handler();
  Received(handler, "/x/NOTAS.DBF");
  control_.cmd_type = 7;  // an unknown kind of transfer
  control_.cmd_filename = "/x/COMUNICA.DBF";
  handler.OnHotSyncStatus(kStatusTransferDone, kTransferOk);
  EXPECT_EQ(log_.Lines(), (Lines{"> Arquivo /x/NOTAS.DBF recebido do Palm com sucesso. ",
                                 "> Arquivo /x/COMUNICA.DBF"}));
  EXPECT_TRUE(requests_.calls.empty());
  EXPECT_TRUE(control_.calls.empty());
}

TEST_F(SessionHandlerTest, ReceivedNamesCompareInUpperCase) {
  requests_.operation = "x";
  SessionHandler handler = Handler();
  state_.user_folder = "/uf";
  Received(handler, "/uf/comunica.dbf");
  EXPECT_EQ(requests_.calls.front(), "open /uf COMUNICA.DBF");
}

TEST_F(SessionHandlerTest, AFailedMarkIsLoggedAndTheRequestStillRuns) {
  requests_.operation = "D";
  requests_.fail_edit = true;
  state_.user_folder = "/uf";
  SessionHandler handler = Handler();
  Received(handler, "/uf/COMUNICA.DBF");
  EXPECT_EQ(log_.Lines(), (Lines{"> Arquivo /uf/COMUNICA.DBF recebido do Palm com sucesso. ",
                                 "> Record is locked by another user",
                                 "> Descarga de arquivos solicitada pelo usuário..."}));
  EXPECT_EQ(requests_.calls, (Lines{"open /uf COMUNICA.DBF", "edit", "close"}));
  EXPECT_EQ(control_.calls, (Lines{"receive " + state_.settings.dbf_folder + "/CONTAGEM.DBF",
                                   "send /uf/COMUNICA.DBF"}));
}

TEST_F(SessionHandlerTest, MarkingWritesXAndStar) {
  requests_.operation = "C";
  state_.user_folder = "/uf/";  // a folder with its separator gets none added
  SessionHandler handler = Handler();
  Received(handler, "/uf/COMUNICA.DBF");
  EXPECT_EQ(requests_.calls, (Lines{"open /uf/ COMUNICA.DBF", "edit", "set OPERACAO=X",
                                    "set ARQUIVO=*", "post", "close"}));
  EXPECT_EQ(exchange_.calls, (Lines{"import"}));
  EXPECT_EQ(control_.calls, (Lines{"send " + state_.settings.dbf_folder + "/PRODUTOS.DBF",
                                   "send /uf/COMUNICA.DBF"}));
}

TEST_F(SessionHandlerTest, AFailedOpenEndsTheEvent) {
  requests_.fail_open = true;
  state_.user_folder = "/uf";
  SessionHandler handler = Handler();
  EXPECT_THROW(Received(handler, "/uf/COMUNICA.DBF"), std::runtime_error);
  EXPECT_TRUE(control_.calls.empty());
}

TEST_F(SessionHandlerTest, CountsReceivedGateTheExportsAtTheEnd) {
  state_.user_folder = "/uf";
  SessionHandler handler = Handler();
  handler.OnHotSyncStatus(kStatusSessionEnd, 0);
  EXPECT_TRUE(exchange_.calls.empty());
  Received(handler, state_.settings.dbf_folder + "/CONTAGEM.DBF");
  EXPECT_TRUE(state_.counts_received);
  EXPECT_EQ(control_.calls, (Lines{"send /uf/CONTAGEM.DBF"}));
  state_.settings.make_dbf = false;
  handler.OnHotSyncStatus(kStatusSessionEnd, 0);
  state_.settings.make_dbf = true;
  handler.OnHotSyncStatus(kStatusSessionEnd, 0);  // the flag lasts until the next start
  EXPECT_EQ(exchange_.calls, (Lines{"prepare", "export", "export", "dbf"}));
}

TEST_F(SessionHandlerTest, FailedTransfersByCommandType) {
  SessionHandler handler = Handler();
  const std::string stale = dir_.path() + "/stale.dbf";
  testsupport::WriteFileBytes(stale, "x");
  control_.cmd_filename = stale;
  control_.cmd_type = kCmdSent;
  handler.OnHotSyncStatus(kStatusTransferDone, 0);
  EXPECT_TRUE(std::filesystem::exists(stale));  // a failed send leaves the desktop copy
  control_.cmd_type = kCmdReceived;
  handler.OnHotSyncStatus(kStatusTransferDone, -5);
  EXPECT_FALSE(std::filesystem::exists(stale));
  control_.cmd_type = kCmdSentAlt;
  handler.OnHotSyncStatus(kStatusTransferDone, 2);
  EXPECT_EQ(log_.Lines(), (Lines{"> Falha enviando ao Palm o arquivo " + stale + ".",
                                 "> Falha recebendo do Palm o arquivo " + stale + ".",
                                 "> " + stale + "."}));
}

TEST(HotSyncRootRule, PilotThenPalmThenTheTemporaryFolder) {
  testsupport::TempDir home;
  HotSyncRootRule rule;
  rule.user_home = home.path();
  const char* old_tmp = std::getenv("TMPDIR");
  const std::string saved = old_tmp ? old_tmp : "";
  setenv("TMPDIR", (home.path() + "/tmp/").c_str(), 1);
  EXPECT_EQ(rule.Find(), home.path() + "/tmp");
  std::filesystem::create_directories(home.path() + "/Palm");
  EXPECT_EQ(rule.Find(), home.path() + "/Palm");
  std::filesystem::create_directories(home.path() + "/Pilot");
  EXPECT_EQ(rule.Find(), home.path() + "/Pilot");
  rule.explicit_root = "/elsewhere/";
  EXPECT_EQ(rule.Find(), "/elsewhere");
  if (old_tmp) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST(AppPaths, SettingsFileOfTheProgramFolder) {
  EXPECT_EQ(IniFileNameFor("/opt/q"), "/opt/q/quarvel-pc.ini");
  EXPECT_EQ(IniFileNameFor("/opt/q/"), "/opt/q/quarvel-pc.ini");
}

TEST(AppPaths, ProgramFolderPrefersTheOptionThenTheEnvironment) {
  testsupport::TempDir dir;
  ProgramFolderSources sources;
  sources.executable_folder = dir.path();
  sources.user_home = dir.path() + "/home";
  EXPECT_EQ(ResolveProgramFolder(sources), dir.path());
  sources.home_env = "/env/home/";
  EXPECT_EQ(ResolveProgramFolder(sources), "/env/home");
  sources.home_option = "/opt/home";
  EXPECT_EQ(ResolveProgramFolder(sources), "/opt/home");
  ProgramFolderSources unwritable;
  unwritable.executable_folder = dir.path() + "/no-such-folder";  // not writable for anyone
  unwritable.user_home = dir.path() + "/home";
  EXPECT_EQ(ResolveProgramFolder(unwritable), dir.path() + "/home/.local/share/quarvel-pc");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/home/.local/share/quarvel-pc"));
}

}  // namespace
}  // namespace quarvel
