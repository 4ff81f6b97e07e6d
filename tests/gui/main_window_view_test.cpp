// The Qt main window on the offscreen platform: its size and banner at the stock font,
// activation on first showing, button states, the log shown, the close refused while support
// is on.
#include "gui/main_window_view.h"

#include <gtest/gtest.h>

#include <QImageReader>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include "gui/options_dialog_view.h"
#include "gui_test_support.h"

namespace quarvel::gui {
namespace {

using gui_test::Desktop;
using gui_test::ProcessUntil;

class MainWindowViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gui_test::EnsureQtApplication(); }

  template <class T>
  static T* Find(QWidget& view, const char* name) {
    T* widget = view.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  static std::string LogText(QWidget& view) {
    return Find<QPlainTextEdit>(view, "Memo1")->toPlainText().toStdString();
  }
  static void ExpectButtons(QWidget& view, bool configure, bool activate, bool deactivate,
                            bool close) {
    EXPECT_EQ(Find<QToolButton>(view, "SpeedButton1")->isEnabled(), configure);
    EXPECT_EQ(Find<QPushButton>(view, "BitBtn1")->isEnabled(), activate);
    EXPECT_EQ(Find<QPushButton>(view, "BitBtn2")->isEnabled(), deactivate);
    EXPECT_EQ(Find<QPushButton>(view, "BitBtn3")->isEnabled(), close);
  }
};

TEST_F(MainWindowViewTest, LayoutCaptionAndTheJpegBanner) {
  ASSERT_TRUE(QImageReader::supportedImageFormats().contains("jpeg"));
  Desktop desktop;
  MainWindowView view(desktop.Config());
  EXPECT_EQ(view.size(), QSize(542, 348));
  EXPECT_EQ(view.windowTitle().toStdString(), "Quarvel PC versão 1.2.3.4");
  EXPECT_TRUE(Find<QPlainTextEdit>(view, "Memo1")->isReadOnly());
  EXPECT_EQ(Find<QPushButton>(view, "BitBtn1")->text(), "Ativar");
  EXPECT_EQ(Find<QPushButton>(view, "BitBtn2")->text(), "Desativar");
  EXPECT_EQ(Find<QPushButton>(view, "BitBtn3")->text(), "Fechar");
  EXPECT_EQ(Find<QToolButton>(view, "SpeedButton1")->toolTip(), "Configurar");
  // Created, not yet shown: the title lines and the created state.
  EXPECT_EQ(LogText(view), "   Módulo de Suporte à Comunicação de Dados via HotSync®\n");
  ExpectButtons(view, true, true, false, true);

  // Shown at the stock font: the window's pixels.
  view.show();
  EXPECT_EQ(view.size(), QSize(542, 348));
  QLabel* banner = Find<QLabel>(view, "Image1");
  ASSERT_NE(banner->pixmap().isNull(), true);
  EXPECT_EQ(banner->geometry(), QRect(0, 0, 542, 61));
  EXPECT_EQ(Find<QPlainTextEdit>(view, "Memo1")->geometry(), QRect(0, 61, 542, 239));
  // "Fechar" keeps its top, height and right margin, as wide as the style asks (75 at least).
  const QRect close = Find<QPushButton>(view, "BitBtn3")->geometry();
  EXPECT_EQ(close.top(), 10);
  EXPECT_EQ(close.height(), 25);
  EXPECT_EQ(close.right() + 1, 542 - 12);
  EXPECT_GE(close.width(), 75);
}

TEST_F(MainWindowViewTest, FirstShowingSwitchesSupportOnAndTheLogShowsIt) {
  Desktop desktop;
  MainWindowView view(desktop.Config());
  view.show();
  ASSERT_TRUE(ProcessUntil([&] { return view.App().HotSync().Enabled(); }));
  ExpectButtons(view, false, false, true, false);
  const std::string text = LogText(view);
  EXPECT_NE(text.find("> Checando o registro do condutor Satellite Forms..."), std::string::npos);
  EXPECT_NE(text.find("> Conduit: SFrmCS35.dll"), std::string::npos);
  EXPECT_NE(text.find("> Suporte ativado.\n> Aguardando o acionamento do HotSync® ..."),
            std::string::npos);
  // The count and product templates were created in the program folder.
  EXPECT_TRUE(std::filesystem::exists(desktop.home() + "/CONTAGEM.DBF"));
  EXPECT_TRUE(std::filesystem::exists(desktop.home() + "/PRODUTOS.DBF"));
}

TEST_F(MainWindowViewTest, CloseIsRefusedWhileSupportIsOn) {
  Desktop desktop;
  MainWindowView view(desktop.Config());
  view.show();
  ASSERT_TRUE(ProcessUntil([&] { return view.App().HotSync().Enabled(); }));
  EXPECT_FALSE(view.close());
  EXPECT_TRUE(view.isVisible());
  Find<QPushButton>(view, "BitBtn2")->click();
  EXPECT_FALSE(view.App().HotSync().Enabled());
  ExpectButtons(view, true, true, false, true);
  EXPECT_NE(LogText(view).find("> Suporte HotSync® desativado."), std::string::npos);
  Find<QPushButton>(view, "BitBtn3")->click();  // "Fechar"
  EXPECT_FALSE(view.isVisible());
}

TEST_F(MainWindowViewTest, MissingConduitShowsTheMessageAndLeavesOnlyClose) {
  Desktop desktop(false);
  MainWindowView view(desktop.Config());
  std::vector<std::string> boxes;
  view.SetMessageBoxHandler([&](const QString& text) { boxes.push_back(text.toStdString()); });
  view.show();
  ASSERT_TRUE(ProcessUntil([&] { return !boxes.empty(); }));
  EXPECT_EQ(boxes[0], "Condutor Satellite Forms 3.5 para aplicações QVPC não registrado.");
  ExpectButtons(view, true, false, false, true);
  EXPECT_TRUE(view.close());
}

TEST_F(MainWindowViewTest, ConfigureShowsTheOptionsAndActivatesAgainAfterwards) {
  Desktop desktop;
  MainWindowView view(desktop.Config());
  view.show();
  ASSERT_TRUE(ProcessUntil([&] { return view.App().HotSync().Enabled(); }));
  Find<QPushButton>(view, "BitBtn2")->click();
  int shown = 0;
  view.SetOptionsDialogHandler([&] { ++shown; });
  Find<QToolButton>(view, "SpeedButton1")->click();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(view.App().HotSync().Enabled());
  ExpectButtons(view, false, false, true, false);
}

TEST_F(MainWindowViewTest, TheLogViewFollowsTheLogLimit) {
  Desktop desktop;
  MainWindowView view(desktop.Config());
  Log& log = view.App().AppLog();
  for (int i = 0; i < 100; ++i) log.AddLine("> line " + std::to_string(i) + std::string(90, '.'));
  auto* memo = Find<QPlainTextEdit>(view, "Memo1");
  EXPECT_EQ(static_cast<std::size_t>(memo->blockCount()), log.Lines().size());
  EXPECT_EQ(memo->toPlainText().toStdString().substr(0, 8), log.Lines().front().substr(0, 8));
  EXPECT_LT(log.Lines().size(), 100u);
}

}  // namespace
}  // namespace quarvel::gui
