// The options dialog's widgets and their binding to the OptionsDialog logic.
#include "gui/options_dialog_view.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <exception>

#include "gui/error_box.h"

namespace quarvel::gui {
namespace {

constexpr int kClientWidth = 367;
constexpr int kClientHeight = 263;
constexpr int kButtonPanelTop = kClientHeight - 41;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

OptionsDialogView::OptionsDialogView(OptionsDialog& logic, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      logic_(logic) {
  setObjectName("TOpcoes");
  setWindowTitle(QString::fromUtf8(kOptionsCaption));
  setFixedSize(kClientWidth, kClientHeight);

  auto* heading = new QLabel(QString::fromUtf8(kOptionsHeading), this);
  heading->setObjectName("Label1");
  heading->move(10, 10);

  const char* edit_names[] = {"Edit1", "Edit2", "Edit3"};
  const char* check_names[] = {"CheckBox1", "CheckBox2", "CheckBox3"};
  const char* browse_names[] = {"SpeedButton1", "SpeedButton2", "SpeedButton3"};
  for (OutputKind kind : kOutputKinds) {
    const auto i = static_cast<std::size_t>(kind);
    const int top = 35 + 50 * static_cast<int>(i);
    auto* label = new QLabel(QString::fromUtf8(FolderLabel(kind)), this);
    label->setObjectName(QString("Label%1").arg(i + 2));
    label->move(10, top);

    edits_[i] = new QLineEdit(this);
    edits_[i]->setObjectName(edit_names[i]);
    edits_[i]->setGeometry(10, top + 15, 321, 22);
    connect(edits_[i], &QLineEdit::textChanged, this, [this, kind](const QString& text) {
      logic_.SetFolderText(kind, text.toStdString());
      apply_->setEnabled(logic_.ApplyEnabled());
    });

    auto* browse = new QToolButton(this);
    browse->setObjectName(browse_names[i]);
    browse->setGeometry(335, top + 15, 23, 22);
    browse->setText("...");
    browse->setToolTip(QString::fromUtf8(kBrowseHint));
    connect(browse, &QToolButton::clicked, this, [this, kind] {
      logic_.Browse(kind, *browser_);
      Refresh();
    });

    checks_[i] = new QCheckBox(QString::fromUtf8(kNoExportText), this);
    checks_[i]->setObjectName(check_names[i]);
    checks_[i]->setGeometry(170, top - 5, 171, 17);
    checks_[i]->setStyleSheet("color: red;");
    connect(checks_[i], &QCheckBox::toggled, this, [this, kind](bool checked) {
      logic_.SetNoExport(kind, checked);
      apply_->setEnabled(logic_.ApplyEnabled());
    });
  }

  auto* defaults = new QPushButton(QString::fromUtf8(kDefaultsText), this);
  defaults->setObjectName("BitBtn4");
  defaults->setGeometry(10, 185, 120, 25);
  defaults->setAutoDefault(false);
  connect(defaults, &QPushButton::clicked, this, [this] {
    logic_.Defaults();
    Refresh();
  });

  auto* ok = new QPushButton(QString::fromUtf8(kOkText), this);
  ok->setObjectName("BitBtn1");
  ok->setGeometry(120, kButtonPanelTop + 5, 75, 25);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] {
    if (Run([this] { logic_.Ok(); })) accept();
  });
  auto* cancel = new QPushButton(QString::fromUtf8(kCancelText), this);
  cancel->setObjectName("BitBtn2");
  cancel->setGeometry(200, kButtonPanelTop + 5, 75, 25);
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, [this] {
    logic_.Cancel();
    reject();
  });
  apply_ = new QPushButton(QString::fromUtf8(kApplyText), this);
  apply_->setObjectName("BitBtn3");
  apply_->setGeometry(280, kButtonPanelTop + 5, 75, 25);
  apply_->setAutoDefault(false);
  connect(apply_, &QPushButton::clicked, this, [this] {
    Run([this] { logic_.Apply(); });
    Refresh();
  });
}

void OptionsDialogView::showEvent(QShowEvent* event) {
  logic_.Activate();
  Refresh();
  QDialog::showEvent(event);
}

void OptionsDialogView::Refresh() {
  for (OutputKind kind : kOutputKinds) {
    const auto i = static_cast<std::size_t>(kind);
    const QSignalBlocker block_edit(edits_[i]);
    const QSignalBlocker block_check(checks_[i]);
    const QString text = Q(logic_.FolderText(kind));
    if (edits_[i]->text() != text) edits_[i]->setText(text);
    checks_[i]->setChecked(logic_.NoExport(kind));
  }
  apply_->setEnabled(logic_.ApplyEnabled());
}

bool OptionsDialogView::Run(const std::function<void()>& action) {
  try {
    action();
    return true;
  } catch (const std::exception& error) {
    if (message_box_) {
      message_box_(Q(error.what()));
    } else {
      ShowErrorBox(this, windowTitle(), Q(error.what()));
    }
    return false;
  }
}

std::optional<std::string> OptionsDialogView::BrowseForFolder(const std::string& prompt,
                                                              const std::string& start_folder) {
  QString caption = Q(prompt);
  caption.replace('\n', " - ");
  const QString chosen = QFileDialog::getExistingDirectory(this, caption, Q(start_folder),
                                                           QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

}  // namespace quarvel::gui
