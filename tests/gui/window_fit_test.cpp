// Both windows and the error boxes as a desktop shows them: at the stock font, a larger desktop
// font and the scale factors 1.5 and 2, every visible widget's text fits (its size hint lies
// within the part of it left visible), no two visible widgets overlap, and the widgets keep their
// arrangement. A scale factor is fixed when Qt starts, so the other settings run these checks
// again in child processes of this program.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QProcess>
#include <QPushButton>
#include <string>
#include <vector>

#include "config/options_dialog.h"
#include "config/settings.h"
#include "gui/error_box.h"
#include "gui/main_window_view.h"
#include "gui/options_dialog_view.h"
#include "gui_test_support.h"

namespace quarvel::gui {
namespace {

using gui_test::Desktop;
using gui_test::ProcessUntil;

QRect RectIn(const QWidget& widget, const QWidget& window) {
  return {widget.mapTo(&window, QPoint(0, 0)), widget.size()};
}

// The part of a widget that its ancestors leave visible, in the window's coordinates.
QRect VisibleRect(const QWidget& widget, const QWidget& window) {
  if (&widget == &window) return window.rect();
  QRect rect = RectIn(widget, window);
  for (const QWidget* p = widget.parentWidget(); p != nullptr && p != &window;
       p = p->parentWidget()) {
    rect &= RectIn(*p, window);
  }
  return rect & window.rect();
}

// What a widget needs to show its text whole: its size hint or, for a text that wraps, its
// narrowest width and the height that its width calls for.
QSize Needed(const QWidget& widget) {
  if (widget.hasHeightForWidth()) {
    return {widget.minimumSizeHint().width(), widget.heightForWidth(widget.width())};
  }
  return widget.sizeHint();
}

std::string Describe(const QWidget& widget) {
  std::string name = widget.metaObject()->className();
  if (!widget.objectName().isEmpty()) name += " " + widget.objectName().toStdString();
  if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
    name += " \"" + button->text().toStdString() + "\"";
  }
  return name;
}

std::string Text(QSize size) {
  return std::to_string(size.width()) + "x" + std::to_string(size.height());
}

// Every text that does not fit and every two widgets that overlap, in a shown window.
std::vector<std::string> LayoutFaults(QWidget& window) {
  std::vector<const QWidget*> widgets{&window};
  for (const QWidget* child : window.findChildren<QWidget*>()) {
    if (child->isVisible() && child->window() == &window) widgets.push_back(child);
  }
  std::vector<std::string> faults;
  for (const QWidget* widget : widgets) {
    const QSize needed = Needed(*widget);
    const QSize shown = VisibleRect(*widget, window).size();
    if (needed.isValid() && (needed.width() > shown.width() || needed.height() > shown.height())) {
      faults.push_back(Describe(*widget) + " needs " + Text(needed) + ", shows " + Text(shown));
    }
  }
  for (std::size_t i = 0; i < widgets.size(); ++i) {
    for (std::size_t j = i + 1; j < widgets.size(); ++j) {
      const QWidget& a = *widgets[i];
      const QWidget& b = *widgets[j];
      if (a.isAncestorOf(&b) || b.isAncestorOf(&a)) continue;
      if (VisibleRect(a, window).intersects(VisibleRect(b, window))) {
        faults.push_back(Describe(a) + " overlaps " + Describe(b));
      }
    }
  }
  return faults;
}

// How two widgets of one window stand to each other.
enum class Place { kLeftOf, kAbove };
struct Arrangement {
  const char* first;
  Place place;
  const char* second;
};

void ExpectArrangement(QWidget& window, const std::vector<Arrangement>& arrangement) {
  for (const Arrangement& pair : arrangement) {
    const auto* first = window.findChild<QWidget*>(pair.first);
    const auto* second = window.findChild<QWidget*>(pair.second);
    ASSERT_TRUE(first != nullptr && second != nullptr) << pair.first << ", " << pair.second;
    const QRect a = RectIn(*first, window);
    const QRect b = RectIn(*second, window);
    if (pair.place == Place::kLeftOf) {
      // Side by side: a ends before b begins, and their rows meet.
      EXPECT_TRUE(a.right() < b.left() && a.top() <= b.bottom() && b.top() <= a.bottom())
          << pair.first << " left of " << pair.second;
    } else {
      EXPECT_LT(a.bottom(), b.top()) << pair.first << " above " << pair.second;
    }
  }
}

void ExpectWholeTexts(QWidget& window) {
  for (const std::string& fault : LayoutFaults(window)) ADD_FAILURE() << fault;
}

class WindowFit : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gui_test::EnsureQtApplication(); }
};

TEST_F(WindowFit, MainWindow) {
  Desktop desktop;
  MainWindowView view(desktop.Config());
  view.show();
  ASSERT_TRUE(ProcessUntil([&] { return view.App().HotSync().Enabled(); }));
  ExpectWholeTexts(view);
  ExpectArrangement(view, {{"Panel1", Place::kAbove, "Memo1"},
                           {"Memo1", Place::kAbove, "Panel2"},
                           {"Image2", Place::kLeftOf, "Image3"},
                           {"Image3", Place::kLeftOf, "SpeedButton1"},
                           {"SpeedButton1", Place::kLeftOf, "BitBtn1"},
                           {"BitBtn1", Place::kLeftOf, "BitBtn2"},
                           {"BitBtn2", Place::kLeftOf, "BitBtn3"}});
  // The banner and the log span the window.
  EXPECT_EQ(view.findChild<QWidget*>("Image1")->width(), view.width());
  EXPECT_EQ(view.findChild<QWidget*>("Memo1")->width(), view.width());
}

TEST_F(WindowFit, OptionsDialog) {
  testsupport::TempDir dir;
  Settings settings = ReadIni(dir.File("quarvel-pc.ini"), dir.path());
  OptionsDialog logic(dir.path(), dir.File("quarvel-pc.ini"), settings);
  OptionsDialogView view(logic, nullptr);
  view.show();
  ExpectWholeTexts(view);
  ExpectArrangement(view, {{"Label1", Place::kAbove, "CheckBox1"},
                           {"Label2", Place::kLeftOf, "CheckBox1"},
                           {"CheckBox1", Place::kAbove, "Edit1"},
                           {"Edit1", Place::kLeftOf, "SpeedButton1"},
                           {"Edit1", Place::kAbove, "CheckBox2"},
                           {"Label3", Place::kLeftOf, "CheckBox2"},
                           {"CheckBox2", Place::kAbove, "Edit2"},
                           {"Edit2", Place::kLeftOf, "SpeedButton2"},
                           {"Edit2", Place::kAbove, "CheckBox3"},
                           {"Label4", Place::kLeftOf, "CheckBox3"},
                           {"CheckBox3", Place::kAbove, "Edit3"},
                           {"Edit3", Place::kLeftOf, "SpeedButton3"},
                           {"Edit3", Place::kAbove, "BitBtn4"},
                           {"BitBtn4", Place::kAbove, "BitBtn1"},
                           {"BitBtn1", Place::kLeftOf, "BitBtn2"},
                           {"BitBtn2", Place::kLeftOf, "BitBtn3"}});
}

TEST_F(WindowFit, ErrorBoxes) {
  // The texts as the windows report them: the missing conduit, a settings file that cannot be
  // written, and a long engine message that has to wrap.
  std::vector<std::pair<QString, QString>> boxes;
  {
    Desktop desktop(false);
    MainWindowView view(desktop.Config());
    view.SetMessageBoxHandler(
        [&](const QString& text) { boxes.emplace_back(kApplicationTitle, text); });
    view.show();
    ASSERT_TRUE(ProcessUntil([&] { return !boxes.empty(); }));
  }
  {
    testsupport::TempDir dir;
    Settings settings;
    OptionsDialog logic(dir.path(), dir.path() + "/missing/quarvel-pc.ini", settings);
    OptionsDialogView view(logic, nullptr);
    view.SetMessageBoxHandler(
        [&](const QString& text) { boxes.emplace_back(kOptionsCaption, text); });
    view.show();
    view.findChild<QPushButton*>("BitBtn1")->click();
    ASSERT_EQ(boxes.size(), 2u);
  }
  QString deep_folder = "/home/inventario";
  for (int i = 0; i < 12; ++i) deep_folder += "/repositorio-de-contagens-" + QString::number(i);
  boxes.emplace_back(kApplicationTitle, "Unable to write to " + deep_folder + "/CONTAGEM.DBF");
  for (const auto& [caption, text] : boxes) {
    SCOPED_TRACE(text.toStdString());
    auto box = MakeErrorBox(nullptr, caption, text);
    box->show();
    ExpectWholeTexts(*box);
  }
}

TEST_F(WindowFit, FollowADesktopFontChangeWhileShown) {
  Desktop desktop;
  MainWindowView view(desktop.Config());
  OptionsDialogView& options = view.OptionsView();
  view.show();
  options.show();
  const QSize window_before = view.size();
  const QSize options_before = options.size();
  const QWidget* log = view.findChild<QWidget*>("Memo1");
  const QSize log_before = log->size();
  const QFont stock = QApplication::font();
  QFont larger = stock;
  larger.setPointSizeF(stock.pointSizeF() * 1.5);
  QApplication::setFont(larger);
  // Both grow in both directions, the log with the buttons.
  EXPECT_TRUE(ProcessUntil([&] {
    return log->width() > log_before.width() && log->height() > log_before.height() &&
           options.width() > options_before.width() && options.height() > options_before.height();
  }));
  ExpectWholeTexts(view);
  ExpectWholeTexts(options);
  QApplication::setFont(stock);
  EXPECT_TRUE(ProcessUntil(
      [&] { return view.size() == window_before && options.size() == options_before; }));
}

// The desktop settings other than the stock one, each as the environment of a child process.
struct DesktopSetting {
  const char* variable;
  const char* value;
};

TEST(WindowFitAtDesktopSettings, LargerFontAndScaleFactors) {
  gui_test::EnsureQtApplication();
  const DesktopSetting settings[] = {
      {gui_test::kFontScaleVariable, "1.5"}, {"QT_SCALE_FACTOR", "1.5"}, {"QT_SCALE_FACTOR", "2"}};
  for (const DesktopSetting& setting : settings) {
    SCOPED_TRACE(std::string(setting.variable) + "=" + setting.value);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(setting.variable, setting.value);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=WindowFit.*"});
    ASSERT_TRUE(child.waitForFinished(120000));
    const std::string output = child.readAll().toStdString();
    EXPECT_TRUE(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                output.find("[  PASSED  ] 4 tests.") != std::string::npos)
        << output;
  }
}

}  // namespace
}  // namespace quarvel::gui
