// The Qt application around the main window.
#include "gui/window_application.h"

#include <QApplication>
#include <QTimer>
#include <iostream>

#include "gui/main_window_view.h"
#include "gui/single_instance.h"

namespace quarvel::gui {

int RunWindowApplication(int argc, char** argv, const ApplicationConfig& config,
                         const std::optional<std::string>& sync_folder, bool keep_open) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
  // The window hides into the tray; only "Fechar" (or the close box) ends the program.
  QApplication::setQuitOnLastWindowClosed(false);

  MainWindowView* window = nullptr;
  SingleInstance instance(QString::fromUtf8(kApplicationTitle), [&window] {
    if (window != nullptr) window->BringForward();
  });
  if (!instance.Claim()) return 0;

  MainWindowView view(config);
  window = &view;
  view.show();

  int status = 0;
  if (sync_folder) {
    // After the first activation (queued by the first showing) has switched support on.
    QTimer::singleShot(0, &view, [&] {
      QTimer::singleShot(0, &view, [&] {
        Application& app = view.App();
        try {
          if (!app.HotSync().RunSession(*sync_folder)) {
            std::cerr << "quarvel-pc: HotSync support is off; no session ran\n";
            status = 1;
          }
        } catch (const std::exception& error) {
          std::cerr << "quarvel-pc: " << error.what() << '\n';
          status = 1;
        }
        if (app.Window().EscapedErrors() > 0) status = 1;
        if (!keep_open) {
          app.Window().ClickDeactivate();
          view.close();
        }
      });
    });
  }
  const int qt_status = QApplication::exec();
  return status != 0 ? status : qt_status;
}

}  // namespace quarvel::gui
