// One QApplication for the window tests, on the offscreen platform unless another is asked for
// and at a larger desktop font when QUARVEL_TEST_FONT_SCALE asks for one, and a desktop
// (program folder, HotSync root with a registry file) per test.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFont>
#include <filesystem>
#include <functional>
#include <string>

#include "app/application.h"
#include "support/temp_dir.h"

namespace quarvel::gui_test {

inline const char* kRegistered =
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Application0]\n"
    "\"Conduit\"=\"SFrmCS35.dll\"\n\"Creator\"=dword:51565043\n";

// Multiplies the desktop's font size, as a desktop set to larger text gives it to the program.
inline constexpr const char* kFontScaleVariable = "QUARVEL_TEST_FONT_SCALE";

inline void EnsureQtApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "gui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  const double font_scale = qEnvironmentVariable(kFontScaleVariable).toDouble();
  if (font_scale > 0) {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * font_scale);
    QApplication::setFont(font);
  }
  (void)app;
}

// Handles pending events until `done` holds (at most a few seconds of waiting).
inline bool ProcessUntil(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 5000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

class Desktop {
 public:
  explicit Desktop(bool registered = true) {
    std::filesystem::create_directories(home());
    std::filesystem::create_directories(root());
    if (registered) testsupport::WriteFileBytes(root() + "/hotsync.reg", kRegistered);
  }
  std::string home() const { return dir_.path() + "/home"; }
  std::string root() const { return dir_.path() + "/root"; }
  ApplicationConfig Config() const {
    ApplicationConfig config;
    config.program_folder = home();
    config.root_rule.explicit_root = root();
    config.version = {1, 2, 3, 4};
    return config;
  }

 private:
  testsupport::TempDir dir_;
};

}  // namespace quarvel::gui_test
