// ReadIni and the options dialog: what "Aplicar", "OK", "Cancelar" and "Configuração padrão"
// write to the settings file, and the folder browse.
#include "config/options_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "config/settings.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

class OptionsDialogTest : public ::testing::Test {
 protected:
  OptionsDialogTest()
      : program_(dir_.path() + "/Prog"), ini_(program_ + "/quarvel-pc.ini"),
        dialog_(program_, ini_, settings_) {
    std::filesystem::create_directories(program_);
  }
  std::string Ini() const {
    return std::filesystem::exists(ini_) ? ReadFileBytes(ini_) : std::string("<no file>");
  }

  TempDir dir_;
  std::string program_;
  std::string ini_;
  Settings settings_;
  OptionsDialog dialog_;
};

TEST(ReadIni, MissingFileMeansEverythingOnInTheProgramFolder) {
  TempDir dir;
  const Settings s = ReadIni(dir.File("none.ini"), "/prog");
  EXPECT_EQ(s, (Settings{true, true, true, "/prog", "/prog", "/prog"}));
}

TEST(ReadIni, OnlyAnUpperCaseNSwitchesAnExportOff) {
  TempDir dir;
  WriteFileBytes(dir.File("q.ini"), "[DO]\nTXT=N\nCSV=n\nDBF=\n[DIR]\nCSV=/csv\nDBF=\n");
  const Settings s = ReadIni(dir.File("q.ini"), "/prog");
  EXPECT_FALSE(s.make_txt);
  EXPECT_TRUE(s.make_csv);  // hand-edited "n" keeps the export on
  EXPECT_TRUE(s.make_dbf);
  EXPECT_EQ(s.txt_folder, "/prog");
  EXPECT_EQ(s.csv_folder, "/csv");
  EXPECT_EQ(s.dbf_folder, "");  // written empty: taken as written
}

TEST_F(OptionsDialogTest, ActivationFillsTheControlsAndDisablesApply) {
  settings_ = {false, true, false, "/t", "/c", "/d"};
  dialog_.Activate();
  EXPECT_TRUE(dialog_.NoExport(OutputKind::kTxt));
  EXPECT_FALSE(dialog_.NoExport(OutputKind::kCsv));
  EXPECT_TRUE(dialog_.NoExport(OutputKind::kDbf));
  EXPECT_EQ(dialog_.FolderText(OutputKind::kCsv), "/c");
  EXPECT_FALSE(dialog_.ApplyEnabled());
  dialog_.SetFolderText(OutputKind::kCsv, "/c");  // no change
  EXPECT_FALSE(dialog_.ApplyEnabled());
  dialog_.SetNoExport(OutputKind::kCsv, true);
  EXPECT_TRUE(dialog_.ApplyEnabled());
}

TEST_F(OptionsDialogTest, ApplyWritesNUnderDoAndOnlyFoldersOtherThanTheProgramFolder) {
  settings_ = ReadIni(ini_, program_);
  dialog_.Activate();
  dialog_.SetNoExport(OutputKind::kCsv, true);
  dialog_.SetFolderText(OutputKind::kTxt, "/repo/txt");
  dialog_.SetFolderText(OutputKind::kDbf, "/repo/dbf");
  dialog_.Apply();
  EXPECT_EQ(Ini(), "[DO]\nCSV=N\n[DIR]\nTXT=/repo/txt\nDBF=/repo/dbf\n");
  EXPECT_FALSE(dialog_.ApplyEnabled());
  // The settings in force equal the file.
  EXPECT_EQ(settings_, (Settings{true, false, true, "/repo/txt", program_, "/repo/dbf"}));

  dialog_.SetNoExport(OutputKind::kCsv, false);
  dialog_.SetFolderText(OutputKind::kTxt, program_);
  dialog_.Apply();
  EXPECT_EQ(Ini(), "[DO]\n[DIR]\nDBF=/repo/dbf\n");
}

TEST_F(OptionsDialogTest, FolderComparisonIgnoresCaseButNotATrailingSeparator) {
  settings_ = ReadIni(ini_, program_);
  dialog_.Activate();
  std::string upper = program_;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  dialog_.SetFolderText(OutputKind::kTxt, upper);
  dialog_.SetFolderText(OutputKind::kCsv, program_ + "/");
  dialog_.Apply();
  EXPECT_EQ(Ini(), "[DIR]\nCSV=" + program_ + "/\n");
}

TEST_F(OptionsDialogTest, OkRewritesTheFileFromTheControlsEvenWithoutChanges) {
  WriteFileBytes(ini_, "; mine\n[DO]\nTXT=N\nDBF=n\n[DIR]\nTXT=" + program_ + "\n[OTHER]\nX=1\n");
  settings_ = ReadIni(ini_, program_);
  dialog_.Activate();
  dialog_.Ok();
  // "n" was read as "on", so its key goes; the redundant folder key goes; the rest stays.
  EXPECT_EQ(Ini(), "; mine\n[DO]\nTXT=N\n[DIR]\n[OTHER]\nX=1\n");
}

TEST_F(OptionsDialogTest, OkBeforeAnySettingsWereLoadedWritesTheInitialValues) {
  // The check failed, so the settings still hold flags false and empty folders.
  dialog_.Activate();
  dialog_.Ok();
  EXPECT_EQ(Ini(), "[DO]\nTXT=N\nCSV=N\nDBF=N\n[DIR]\nTXT=\nCSV=\nDBF=\n");
}

TEST_F(OptionsDialogTest, CancelWritesNothingButAppliedChangesStay) {
  settings_ = ReadIni(ini_, program_);
  dialog_.Activate();
  dialog_.SetNoExport(OutputKind::kTxt, true);
  dialog_.Apply();
  dialog_.SetNoExport(OutputKind::kDbf, true);
  dialog_.Cancel();
  EXPECT_EQ(Ini(), "[DO]\nTXT=N\n");  // deleting absent keys adds no section
  dialog_.Activate();  // shown again: from the settings, not from the cancelled controls
  EXPECT_FALSE(dialog_.NoExport(OutputKind::kDbf));
}

TEST_F(OptionsDialogTest, DefaultsResetTheControlsOnlyUntilApplied) {
  settings_ = {false, false, false, "/t", "/c", "/d"};
  dialog_.Activate();
  dialog_.Defaults();
  EXPECT_EQ(Ini(), "<no file>");
  EXPECT_TRUE(dialog_.ApplyEnabled());
  for (OutputKind kind : kOutputKinds) {
    EXPECT_FALSE(dialog_.NoExport(kind));
    EXPECT_EQ(dialog_.FolderText(kind), program_);
  }
  dialog_.Apply();
  EXPECT_EQ(Ini(), "<no file>");  // defaults are the absence of keys
  EXPECT_EQ(settings_, (Settings{true, true, true, program_, program_, program_}));
}

class FakeBrowser : public FolderBrowser {
 public:
  std::optional<std::string> BrowseForFolder(const std::string& prompt,
                                             const std::string& start_folder) override {
    prompt_ = prompt;
    start_ = start_folder;
    return answer_;
  }
  std::optional<std::string> answer_;
  std::string prompt_;
  std::string start_;
};

TEST_F(OptionsDialogTest, BrowseStartsAtAnExistingFolderAndTakesTheChoice) {
  settings_ = ReadIni(ini_, program_);
  dialog_.Activate();
  FakeBrowser browser;
  dialog_.Browse(OutputKind::kDbf, browser);
  EXPECT_EQ(browser.start_, program_);
  EXPECT_EQ(browser.prompt_, "Selecione o repositório de arquivos\nDBF - dBase V");
  EXPECT_FALSE(dialog_.ApplyEnabled());  // cancelled: nothing changed

  dialog_.SetFolderText(OutputKind::kTxt, dir_.path() + "/not-there");
  browser.answer_ = dir_.path();
  dialog_.Browse(OutputKind::kTxt, browser);
  EXPECT_EQ(browser.start_, "");
  EXPECT_EQ(browser.prompt_, "Selecione o repositório de arquivos texto\nSDF - Standard Data Format");
  EXPECT_EQ(dialog_.FolderText(OutputKind::kTxt), dir_.path());
}

}  // namespace
}  // namespace quarvel
