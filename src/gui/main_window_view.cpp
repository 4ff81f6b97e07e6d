// The main window's widgets and their binding to the MainWindow logic.
#include "gui/main_window_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/error_box.h"
#include "gui/options_dialog_view.h"
#include "gui/resources.h"

namespace quarvel::gui {
namespace {

// The window's pixels at the stock desktop font. Layouts keep them wherever the texts fit and
// grow the window where a larger font or a wider style needs room.
constexpr int kClientWidth = 542;
constexpr int kClientHeight = 348;
constexpr int kTopPanelHeight = 61;
constexpr int kBottomPanelHeight = 48;
constexpr QSize kButtonSize(75, 25);
constexpr QSize kConfigureSize(25, 25);
// The log shows at least this much text (its size at the stock font), so that with a larger font
// it grows as the buttons do instead of showing fewer lines.
constexpr int kLogColumns = 90;
constexpr int kLogLines = 17;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The title banner: the picture stretched across the window, in its own proportions.
class Banner : public QLabel {
 public:
  using QLabel::QLabel;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override {
    return width * kTopPanelHeight / kClientWidth;
  }
};

QPushButton* NewButton(const char* name, const char* text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setMinimumSize(kButtonSize);
  return button;
}

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
  setWindowIcon(QIcon(":/quarvel/icon.png"));
  // A single border: the window takes the size its contents ask for and cannot be resized.
  auto* column = new QVBoxLayout(this);
  column->setSizeConstraint(QLayout::SetFixedSize);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* top = new QWidget(this);
  top->setObjectName("Panel1");
  banner_ = new Banner(top);
  banner_->setObjectName("Image1");
  banner_->setScaledContents(true);
  banner_->setPixmap(QPixmap(":/quarvel/banner.jpg", "JPG"));
  auto* top_layout = new QVBoxLayout(top);
  top_layout->setContentsMargins(0, 0, 0, 0);
  top_layout->addWidget(banner_);
  column->addWidget(top);

  log_view_ = new QPlainTextEdit(this);
  log_view_->setObjectName("Memo1");
  log_view_->setReadOnly(true);
  log_view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // long lines wrap
  SizeLogToFont();
  column->addWidget(log_view_, 1);

  auto* bottom = new QWidget(this);
  bottom->setObjectName("Panel2");
  link_ = new QLabel(bottom);
  link_->setObjectName("Image2");
  link_->setPixmap(QPixmap(":/quarvel/link.png"));
  link_->setCursor(Qt::PointingHandCursor);
  link_->installEventFilter(this);
  auto* decoration = new QLabel(bottom);
  decoration->setObjectName("Image3");
  decoration->setPixmap(QPixmap(":/quarvel/decoration.png"));
  configure_ = new QToolButton(bottom);
  configure_->setObjectName("SpeedButton1");
  configure_->setMinimumSize(kConfigureSize);
  configure_->setAutoRaise(true);
  configure_->setIcon(QIcon(":/quarvel/configure.png"));
  configure_->setToolTip("Configurar");
  activate_ = NewButton("BitBtn1", "Ativar", bottom);
  deactivate_ = NewButton("BitBtn2", "Desativar", bottom);
  close_ = NewButton("BitBtn3", "Fechar", bottom);

  // The link at the left, level with the tops of the buttons; the decoration after it; the
  // buttons at the right. The gap before "Configurar" gives way first when the buttons widen.
  auto* link_column = new QVBoxLayout;
  link_column->setContentsMargins(0, 5, 0, 0);
  link_column->addWidget(link_);
  link_column->addStretch();
  auto* row = new QHBoxLayout(bottom);
  row->setContentsMargins(15, 5, 12, 8);
  row->setSpacing(0);
  row->addLayout(link_column);
  row->addSpacing(35);
  row->addWidget(decoration);
  row->addSpacing(10);
  row->addStretch();
  row->addWidget(configure_);
  row->addSpacing(20);
  row->addWidget(activate_);
  row->addSpacing(5);
  row->addWidget(deactivate_);
  row->addSpacing(5);
  row->addWidget(close_);
  column->addWidget(bottom);

  connect(configure_, &QToolButton::clicked, this, [this] { app_->Window().ClickConfigure(); });
  connect(activate_, &QPushButton::clicked, this, [this] { app_->Window().ClickActivate(); });
  connect(deactivate_, &QPushButton::clicked, this, [this] { app_->Window().ClickDeactivate(); });
  connect(close_, &QPushButton::clicked, this, [this] { close(); });
  column->activate();  // sized before the first showing, as a form is
}

void MainWindowView::SizeLogToFont() {
  const QFontMetrics metrics(log_view_->font());
  const QSize text(metrics.averageCharWidth() * kLogColumns, metrics.lineSpacing() * kLogLines);
  log_view_->setMinimumSize(
      text.expandedTo({kClientWidth, kClientHeight - kTopPanelHeight - kBottomPanelHeight}));
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
  if (event->type() == QEvent::FontChange) SizeLogToFont();
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
