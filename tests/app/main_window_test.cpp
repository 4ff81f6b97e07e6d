// The main window's logic with a headless shell: creation, activation with the conduit check,
// "Ativar", "Desativar", the close refusal, "Configurar", the logo, the tray and the caption.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/headless_shell.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testsupport::TempDir;
using testsupport::WriteFileBytes;

const char* kRegistered =
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Application0]\n"
    "\"Conduit\"=\"SFrmCS35.dll\"\n\"Creator\"=dword:51565043\n";

const std::vector<std::string> kCheckPassed = {
    "> Checando o registro do condutor Satellite Forms...", "", "> Conduit: SFrmCS35.dll",
    "> Creator: QVPC", "> ApplVer: 2.0", ""};
const std::vector<std::string> kSwitchedOn = {"> Suporte ativado.",
                                              "> Aguardando o acionamento do HotSync® ...", ""};
const std::vector<std::string> kSwitchedOff = {"", "> Suporte HotSync® desativado.", "", "", ""};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    std::filesystem::create_directories(Home());
    std::filesystem::create_directories(Root());
    WriteFileBytes(Root() + "/hotsync.reg", kRegistered);
  }
  std::string Home() const { return dir_.path() + "/home"; }
  std::string Root() const { return dir_.path() + "/root"; }

  Application& App() {
    if (!app_) {
      ApplicationConfig config;
      config.program_folder = Home();
      config.root_rule.explicit_root = Root();
      config.version = {2, 0, 5, 1};
      config.create_handheld_tables = [this](const std::string& folder) {
        if (fail_creation_) throw std::runtime_error("Could not create file " + folder);
        created_in_.push_back(folder);
      };
      app_ = std::make_unique<Application>(config, shell_);
    }
    return *app_;
  }
  MainWindow& Window() { return App().Window(); }
  const std::vector<std::string>& Lines() { return App().AppLog().Lines(); }

  TempDir dir_;
  HeadlessShell shell_;
  std::vector<std::string> created_in_;
  bool fail_creation_ = false;
  std::unique_ptr<Application> app_;
};

const ButtonStates kIdle{.configure = true, .activate = true, .deactivate = false, .close = true};
const ButtonStates kActive{.configure = false, .activate = false, .deactivate = true, .close = false};

TEST(VersionText, DropsReleaseAndBuildOnlyWhenBothAreZero) {
  EXPECT_EQ(VersionText({2, 0, 0, 0}), "2.0");
  EXPECT_EQ(VersionText({2, 0, 5, 1}), "2.0.5.1");
  EXPECT_EQ(VersionText({2, 0, 0, 3}), "2.0.0.3");
  EXPECT_EQ(VersionText({10, 12, 0, 0}), "10.12");
}

TEST_F(MainWindowTest, CreationSetsCaptionLogTrayAndButtons) {
  App().AppLog().AddLine("placeholder");
  Window().Create();
  EXPECT_EQ(Window().Caption(), "Quarvel PC versão 2.0.5.1");
  EXPECT_EQ(shell_.caption(), "Quarvel PC versão 2.0.5.1");
  EXPECT_TRUE(shell_.tray_icon());
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "   Módulo de Suporte à Comunicação de Dados via HotSync®", ""}));
  EXPECT_EQ(Window().Buttons(), kIdle);
  EXPECT_FALSE(App().HotSync().Enabled());
}

TEST_F(MainWindowTest, FirstActivationChecksReadsSettingsAndSwitchesOn) {
  WriteFileBytes(Home() + "/quarvel-pc.ini", "[DIR]\nDBF=" + dir_.path() + "/dbf\n[DO]\nTXT=N\n");
  Window().Create();
  Window().Activate();
  EXPECT_EQ(Lines(), Concat({{"   Módulo de Suporte à Comunicação de Dados via HotSync®", ""},
                             kCheckPassed,
                             kSwitchedOn}));
  EXPECT_EQ(Window().Buttons(), kActive);
  EXPECT_TRUE(App().HotSync().Enabled());
  EXPECT_FALSE(App().State().settings.make_txt);
  // Templates in the program folder and in a dBase folder that differs from it.
  EXPECT_EQ(created_in_, (std::vector<std::string>{Home(), dir_.path() + "/dbf"}));
}

TEST_F(MainWindowTest, EveryActivationRepeatsTheCheckAndTheSwitchingOn) {
  Window().Create();
  Window().Activate();
  const std::size_t after_first = Lines().size();
  Window().Activate();  // e.g. shown again from the tray while support is on
  const std::vector<std::string> again(Lines().begin() + static_cast<std::ptrdiff_t>(after_first),
                                       Lines().end());
  EXPECT_EQ(again, Concat({kCheckPassed, kSwitchedOn}));
  EXPECT_EQ(created_in_, (std::vector<std::string>{Home(), Home()}));
}

TEST_F(MainWindowTest, FailedCheckShowsTheMessageAndLeavesOnlyClose) {
  std::filesystem::remove(Root() + "/hotsync.reg");
  Window().Create();
  Window().Activate();
  ASSERT_EQ(shell_.error_boxes().size(), 1u);
  EXPECT_EQ(shell_.error_boxes()[0],
            "Condutor Satellite Forms 3.5 para aplicações QVPC não registrado.");
  EXPECT_EQ(Window().Buttons(),
            (ButtonStates{.configure = true, .activate = false, .deactivate = false, .close = true}));
  EXPECT_FALSE(App().HotSync().Enabled());
  EXPECT_TRUE(created_in_.empty());
  // Settings were not loaded: the initial values stay.
  EXPECT_EQ(App().State().settings, Settings{});
}

TEST_F(MainWindowTest, DeactivateThenActivateByHand) {
  Window().Create();
  Window().Activate();
  const std::size_t before = Lines().size();
  Window().ClickDeactivate();
  EXPECT_FALSE(App().HotSync().Enabled());
  EXPECT_EQ(Window().Buttons(), kIdle);
  EXPECT_EQ(std::vector<std::string>(Lines().begin() + static_cast<std::ptrdiff_t>(before), Lines().end()),
            kSwitchedOff);
  Window().ClickActivate();
  EXPECT_TRUE(App().HotSync().Enabled());
  EXPECT_EQ(Window().Buttons(), kActive);
  EXPECT_EQ(std::vector<std::string>(Lines().end() - 3, Lines().end()), kSwitchedOn);
}

TEST_F(MainWindowTest, CloseIsRefusedWithABeepWhileSupportIsOn) {
  Window().Create();
  Window().Activate();
  EXPECT_FALSE(Window().RequestClose());
  EXPECT_EQ(shell_.beeps(), 1);
  EXPECT_TRUE(shell_.tray_icon());
  EXPECT_FALSE(shell_.terminated());
  Window().ClickDeactivate();
  EXPECT_TRUE(Window().RequestClose());
  EXPECT_FALSE(shell_.tray_icon());
  EXPECT_TRUE(shell_.terminated());
  EXPECT_EQ(shell_.beeps(), 1);
}

TEST_F(MainWindowTest, ReturnFromTheOptionsDialogActivatesAgain) {
  Window().Create();
  Window().Activate();
  Window().ClickDeactivate();
  shell_.SetOptionsDialogAction([&] {
    WriteFileBytes(Home() + "/quarvel-pc.ini", "[DO]\nDBF=N\n");
  });
  Window().ClickConfigure();
  EXPECT_EQ(shell_.options_shown(), 1);
  EXPECT_TRUE(App().HotSync().Enabled());  // switched on again after the check
  EXPECT_FALSE(App().State().settings.make_dbf);
  EXPECT_EQ(std::vector<std::string>(Lines().end() - 9, Lines().end()),
            Concat({kCheckPassed, kSwitchedOn}));
}

TEST_F(MainWindowTest, LogoHidesTheWindowOnlyWhileSupportIsOff) {
  Window().Create();
  Window().Activate();
  Window().ClickLogo();
  EXPECT_TRUE(shell_.WindowVisible());
  Window().ClickDeactivate();
  Window().ClickLogo();
  EXPECT_FALSE(shell_.WindowVisible());
  EXPECT_EQ(shell_.opened_urls(), (std::vector<std::string>{kMakerUrl, kMakerUrl}));
}

TEST_F(MainWindowTest, TrayClicksShowAHiddenWindowAndActivateIt) {
  Window().Create();
  Window().Minimised();
  EXPECT_FALSE(shell_.WindowVisible());
  Window().TrayClick(TrayButton::kMiddle);
  EXPECT_FALSE(shell_.WindowVisible());
  Window().TrayClick(TrayButton::kRight);
  EXPECT_TRUE(shell_.WindowVisible());
  EXPECT_TRUE(App().HotSync().Enabled());
  const std::size_t lines = Lines().size();
  Window().TrayClick(TrayButton::kLeft);  // already visible: nothing
  EXPECT_EQ(Lines().size(), lines);
}

TEST_F(MainWindowTest, FailuresThatEscapeGoToTheErrorReporting) {
  Window().Create();
  fail_creation_ = true;
  Window().Activate();
  EXPECT_EQ(shell_.exceptions(), (std::vector<std::string>{"Could not create file " + Home()}));
  EXPECT_EQ(Window().EscapedErrors(), 1);
  EXPECT_FALSE(App().HotSync().Enabled());
  EXPECT_EQ(Window().Buttons(), kIdle);
  // A malformed registry file escapes the check the same way.
  fail_creation_ = false;
  WriteFileBytes(Root() + "/hotsync.reg", "garbage\n");
  Window().Activate();
  EXPECT_EQ(Window().EscapedErrors(), 2);
  EXPECT_FALSE(App().HotSync().Enabled());
}

}  // namespace
}  // namespace quarvel
