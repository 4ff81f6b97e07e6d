// The Qt options dialog on the offscreen platform: filled from the settings, "Aplicar" enabled
// by a change, and what its buttons write.
#include "gui/options_dialog_view.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "config/settings.h"
#include "gui_test_support.h"

namespace quarvel::gui {
namespace {

using testsupport::ReadFileBytes;

class PickedFolder : public FolderBrowser {
 public:
  explicit PickedFolder(std::string folder) : folder_(std::move(folder)) {}
  std::optional<std::string> BrowseForFolder(const std::string&, const std::string&) override {
    return folder_;
  }

 private:
  std::string folder_;
};

class OptionsDialogViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gui_test::EnsureQtApplication(); }
  OptionsDialogViewTest()
      : program_(dir_.path()), ini_(dir_.File("quarvel-pc.ini")), logic_(program_, ini_, settings_),
        view_(logic_, nullptr) {
    settings_ = ReadIni(ini_, program_);
  }
  template <class T>
  T* Find(const char* name) {
    T* widget = view_.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  testsupport::TempDir dir_;
  std::string program_;
  std::string ini_;
  Settings settings_;
  OptionsDialog logic_;
  OptionsDialogView view_;
};

TEST_F(OptionsDialogViewTest, ShowingFillsTheControlsAndDisablesApply) {
  view_.show();
  EXPECT_EQ(view_.windowTitle().toStdString(), "Opções");
  // Never smaller than its pixels at the stock font; wider where its texts need room.
  EXPECT_GE(view_.width(), 367);
  EXPECT_GE(view_.height(), 263);
  EXPECT_EQ(Find<QLineEdit>("Edit1")->text().toStdString(), program_);
  EXPECT_FALSE(Find<QCheckBox>("CheckBox3")->isChecked());
  EXPECT_EQ(Find<QCheckBox>("CheckBox1")->text().toStdString(), "NÃO gerar este tipo de arquivo");
  EXPECT_FALSE(Find<QPushButton>("BitBtn3")->isEnabled());
  Find<QCheckBox>("CheckBox2")->click();
  EXPECT_TRUE(Find<QPushButton>("BitBtn3")->isEnabled());
}

TEST_F(OptionsDialogViewTest, ApplyWritesAndOkCloses) {
  view_.show();
  Find<QLineEdit>("Edit3")->setText("/repo/dbf");
  Find<QCheckBox>("CheckBox1")->click();
  Find<QPushButton>("BitBtn3")->click();  // "Aplicar"
  EXPECT_EQ(ReadFileBytes(ini_), "[DO]\nTXT=N\n[DIR]\nDBF=/repo/dbf\n");
  EXPECT_FALSE(Find<QPushButton>("BitBtn3")->isEnabled());
  EXPECT_EQ(settings_.dbf_folder, "/repo/dbf");

  Find<QPushButton>("BitBtn4")->click();  // "Configuração padrão"
  EXPECT_EQ(Find<QLineEdit>("Edit3")->text().toStdString(), program_);
  EXPECT_FALSE(Find<QCheckBox>("CheckBox1")->isChecked());
  EXPECT_EQ(ReadFileBytes(ini_), "[DO]\nTXT=N\n[DIR]\nDBF=/repo/dbf\n");  // not yet written
  Find<QPushButton>("BitBtn1")->click();  // "OK"
  EXPECT_EQ(ReadFileBytes(ini_), "[DO]\n[DIR]\n");
  EXPECT_EQ(view_.result(), QDialog::Accepted);
  EXPECT_FALSE(view_.isVisible());
}

TEST_F(OptionsDialogViewTest, CancelWritesNothing) {
  view_.show();
  Find<QCheckBox>("CheckBox2")->click();
  Find<QPushButton>("BitBtn2")->click();  // "Cancelar"
  EXPECT_FALSE(std::filesystem::exists(ini_));
  EXPECT_EQ(view_.result(), QDialog::Rejected);
  view_.show();  // shown again: refilled from the settings
  EXPECT_FALSE(Find<QCheckBox>("CheckBox2")->isChecked());
}

TEST_F(OptionsDialogViewTest, BrowsePutsTheChosenFolderIntoItsEdit) {
  PickedFolder picked(dir_.path() + "/chosen");
  view_.SetFolderBrowser(&picked);
  view_.show();
  Find<QToolButton>("SpeedButton2")->click();
  EXPECT_EQ(Find<QLineEdit>("Edit2")->text().toStdString(), dir_.path() + "/chosen");
  EXPECT_TRUE(Find<QPushButton>("BitBtn3")->isEnabled());
}

TEST_F(OptionsDialogViewTest, AnUnwritableSettingsFileIsReportedAndTheDialogStays) {
  OptionsDialog stuck(program_, dir_.path() + "/missing/quarvel-pc.ini", settings_);
  OptionsDialogView view(stuck, nullptr);
  std::vector<std::string> boxes;
  view.SetMessageBoxHandler([&](const QString& text) { boxes.push_back(text.toStdString()); });
  view.show();
  view.findChild<QCheckBox*>("CheckBox1")->click();
  view.findChild<QPushButton*>("BitBtn1")->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Unable to write to"), std::string::npos);
  EXPECT_TRUE(view.isVisible());
}

}  // namespace
}  // namespace quarvel::gui
