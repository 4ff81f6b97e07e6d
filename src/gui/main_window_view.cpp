// The main window's widgets and their binding to the MainWindow logic.
#include "gui/main_window_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "gui/error_box.h"
#include "gui/options_dialog_view.h"
#include "gui/resources.h"

namespace quarvel::gui {
namespace {

constexpr int kClientWidth = 542;
constexpr int kClientHeight = 348;
constexpr int kTopPanelHeight = 61;
constexpr int kBottomPanelHeight = 48;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

MainWindowView::MainWindowView(const ApplicationConfig& config, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  InitResources();
  app_ = std::make_unique<Application>(config, *this);
  BuildWidgets();
  options_view_ = new OptionsDialogView(app_->Options(), this);
  app_->AppLog().AddListener(
      [this](const std::string* added, bool rebuilt) { ShowLog(added, rebuilt); });
  app_->Window().Create();
}

MainWindowView::~MainWindowView() = default;

void MainWindowView::BuildWidgets() {
  setObjectName("TAbertura");
  setFixedSize(kClientWidth, kClientHeight);
  setWindowIcon(QIcon(":/quarvel/icon.png"));

  auto* top = new QWidget(this);
  top->setObjectName("Panel1");
  top->setGeometry(0, 0, kClientWidth, kTopPanelHeight);
  banner_ = new QLabel(top);
  banner_->setObjectName("Image1");
  banner_->setGeometry(0, 0, kClientWidth, kTopPanelHeight);
  banner_->setScaledContents(true);
  banner_->setPixmap(QPixmap(":/quarvel/banner.jpg", "JPG"));

  log_view_ = new QPlainTextEdit(this);
  log_view_->setObjectName("Memo1");
  log_view_->setGeometry(0, kTopPanelHeight, kClientWidth,
                         kClientHeight - kTopPanelHeight - kBottomPanelHeight);
  log_view_->setReadOnly(true);
  log_view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // long lines wrap

  auto* bottom = new QWidget(this);
  bottom->setObjectName("Panel2");
  bottom->setGeometry(0, kClientHeight - kBottomPanelHeight, kClientWidth, kBottomPanelHeight);
  link_ = new QLabel(bottom);
  link_->setObjectName("Image2");
  link_->setGeometry(15, 10, 90, 12);
  link_->setPixmap(QPixmap(":/quarvel/link.png"));
  link_->setCursor(Qt::PointingHandCursor);
  link_->installEventFilter(this);
  auto* decoration = new QLabel(bottom);
  decoration->setObjectName("Image3");
  decoration->setGeometry(140, 5, 85, 35);
  decoration->setPixmap(QPixmap(":/quarvel/decoration.png"));

  configure_ = new QToolButton(bottom);
  configure_->setObjectName("SpeedButton1");
  configure_->setGeometry(250, 10, 25, 25);
  configure_->setAutoRaise(true);
  configure_->setIcon(QIcon(":/quarvel/configure.png"));
  configure_->setToolTip("Configurar");
  activate_ = new QPushButton("Ativar", bottom);
  activate_->setObjectName("BitBtn1");
  activate_->setGeometry(295, 10, 75, 25);
  deactivate_ = new QPushButton("Desativar", bottom);
  deactivate_->setObjectName("BitBtn2");
  deactivate_->setGeometry(375, 10, 75, 25);
  close_ = new QPushButton("Fechar", bottom);
  close_->setObjectName("BitBtn3");
  close_->setGeometry(455, 10, 75, 25);

  connect(configure_, &QToolButton::clicked, this, [this] { app_->Window().ClickConfigure(); });
  connect(activate_, &QPushButton::clicked, this, [this] { app_->Window().ClickActivate(); });
  connect(deactivate_, &QPushButton::clicked, this, [this] { app_->Window().ClickDeactivate(); });
  connect(close_, &QPushButton::clicked, this, [this] { close(); });
}

void MainWindowView::ShowLog(const std::string* added, bool rebuilt) {
  if (added != nullptr && !rebuilt) {
    log_view_->appendPlainText(Q(*added));
  } else {
    QStringList lines;
    for (const auto& line : app_->AppLog().Lines()) lines << Q(line);
    log_view_->setPlainText(lines.join('\n'));
  }
  log_view_->verticalScrollBar()->setValue(log_view_->verticalScrollBar()->maximum());
}

void MainWindowView::ShowMessage(const QString& text) {
  if (message_box_) {
    message_box_(text);
  } else {
    gui::ShowErrorBox(this, QString::fromUtf8(kApplicationTitle), text);
  }
}

void MainWindowView::BringForward() {
  if (!isVisible()) app_->Window().TrayClick(TrayButton::kLeft);
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void MainWindowView::SetCaption(const std::string& caption) { setWindowTitle(Q(caption)); }

void MainWindowView::ButtonsChanged() {
  const ButtonStates& states = app_->Window().Buttons();
  configure_->setEnabled(states.configure);
  activate_->setEnabled(states.activate);
  deactivate_->setEnabled(states.deactivate);
  close_->setEnabled(states.close);
}

void MainWindowView::AddTrayIcon() {
  if (tray_ == nullptr) {
    tray_ = new QSystemTrayIcon(QIcon(":/quarvel/icon.png"), this);
    tray_->setToolTip(QString::fromUtf8(kApplicationTitle));
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              switch (reason) {
                case QSystemTrayIcon::Trigger:
                case QSystemTrayIcon::DoubleClick:
                  app_->Window().TrayClick(TrayButton::kLeft);
                  break;
                case QSystemTrayIcon::Context:
                  app_->Window().TrayClick(TrayButton::kRight);
                  break;
                default:
                  app_->Window().TrayClick(TrayButton::kMiddle);
                  break;
              }
            });
  }
  if (QSystemTrayIcon::isSystemTrayAvailable()) tray_->show();
}

void MainWindowView::RemoveTrayIcon() {
  if (tray_ != nullptr) tray_->hide();
}

void MainWindowView::Beep() { QApplication::beep(); }

void MainWindowView::ShowOptionsDialog() {
  if (options_dialog_) {
    options_dialog_();
  } else {
    options_view_->exec();
  }
}

void MainWindowView::OpenUrl(const std::string& url) { QDesktopServices::openUrl(QUrl(Q(url))); }

bool MainWindowView::WindowVisible() const { return isVisible(); }

void MainWindowView::ShowWindow() {
  show();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void MainWindowView::HideWindow() {
  // Without a notification area nothing could bring a hidden window back: it stays minimised.
  if (tray_ == nullptr || !tray_->isVisible()) {
    showMinimized();
    return;
  }
  setWindowState(windowState() & ~Qt::WindowMinimized);
  hide();
}

void MainWindowView::ShowErrorBox(const std::string& text) { ShowMessage(Q(text)); }

void MainWindowView::ReportException(const std::string& text) { ShowMessage(Q(text)); }

void MainWindowView::Terminate() {
  terminating_ = true;
  QCoreApplication::processEvents();
  QCoreApplication::quit();
}

void MainWindowView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_once_) return;
  shown_once_ = true;
  // The first showing makes the window the program's active window: run its activation once
  // the window is on screen.
  QTimer::singleShot(0, this, [this] { app_->Window().Activate(); });
}

void MainWindowView::closeEvent(QCloseEvent* event) {
  if (terminating_ || app_->Window().RequestClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindowView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && isVisible()) {
    QTimer::singleShot(0, this, [this] {
      if (isMinimized() && tray_ != nullptr && tray_->isVisible()) app_->Window().Minimised();
    });
  }
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == link_ && event->type() == QEvent::MouseButtonRelease) {
    app_->Window().ClickLogo();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace quarvel::gui
