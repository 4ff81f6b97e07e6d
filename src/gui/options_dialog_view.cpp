// The options dialog's widgets and their binding to the OptionsDialog logic.
#include "gui/options_dialog_view.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

#include "gui/error_box.h"

namespace quarvel::gui {
namespace {

// The dialog's pixels at the stock desktop font. Layouts keep the margins, gaps and least sizes
// and grow the dialog where a text needs more room.
constexpr QSize kEditSize(321, 22);
constexpr QSize kBrowseSize(23, 22);
constexpr QSize kDefaultsSize(120, 25);
constexpr QSize kButtonSize(75, 25);

QString Q(const std::string& text) { return QString::fromStdString(text); }

QPushButton* NewButton(const char* name, const char* text, QSize least, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(name);
  button->setMinimumSize(least);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

OptionsDialogView::OptionsDialogView(OptionsDialog& logic, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      logic_(logic) {
  setObjectName("TOpcoes");
  setWindowTitle(QString::fromUtf8(kOptionsCaption));

  auto* heading = new QLabel(QString::fromUtf8(kOptionsHeading), this);
  heading->setObjectName("Label1");
  auto* content = new QVBoxLayout;
  content->setContentsMargins(10, 10, 9, 12);
  content->setSpacing(0);
  content->addWidget(heading);
  content->addSpacing(7);

  // One group per kind of file: its label with the "do not make" box at the right above the
  // folder's edit, the browse button beside the edit.
  const char* edit_names[] = {"Edit1", "Edit2", "Edit3"};
  const char* check_names[] = {"CheckBox1", "CheckBox2", "CheckBox3"};
  const char* browse_names[] = {"SpeedButton1", "SpeedButton2", "SpeedButton3"};
  for (OutputKind kind : kOutputKinds) {
    const auto i = static_cast<std::size_t>(kind);
    auto* label = new QLabel(QString::fromUtf8(FolderLabel(kind)), this);
    label->setObjectName(QString("Label%1").arg(i + 2));

    edits_[i] = new QLineEdit(this);
    edits_[i]->setObjectName(edit_names[i]);
    edits_[i]->setMinimumSize(kEditSize);
    connect(edits_[i], &QLineEdit::textChanged, this, [this, kind](const QString& text) {
      logic_.SetFolderText(kind, text.toStdString());
      apply_->setEnabled(logic_.ApplyEnabled());
    });

    auto* browse = new QToolButton(this);
    browse->setObjectName(browse_names[i]);
    browse->setMinimumSize(kBrowseSize);
    browse->setText("...");
    browse->setToolTip(QString::fromUtf8(kBrowseHint));
    connect(browse, &QToolButton::clicked, this, [this, kind] {
      logic_.Browse(kind, *browser_);
      Refresh();
    });

    checks_[i] = new QCheckBox(QString::fromUtf8(kNoExportText), this);
    checks_[i]->setObjectName(check_names[i]);
    checks_[i]->setStyleSheet("color: red;");
    connect(checks_[i], &QCheckBox::toggled, this, [this, kind](bool checked) {
      logic_.SetNoExport(kind, checked);
      apply_->setEnabled(logic_.ApplyEnabled());
    });

    auto* caption = new QHBoxLayout;
    caption->setSpacing(10);
    caption->addWidget(label);
    caption->addStretch();
    caption->addWidget(checks_[i]);
    auto* group = new QGridLayout;
    group->setHorizontalSpacing(4);
    group->setVerticalSpacing(2);
    group->addLayout(caption, 0, 0);
    group->addWidget(edits_[i], 1, 0);
    group->addWidget(browse, 1, 1);
    if (i > 0) content->addSpacing(8);
    content->addLayout(group);
  }

  auto* defaults = NewButton("BitBtn4", kDefaultsText, kDefaultsSize, this);
  connect(defaults, &QPushButton::clicked, this, [this] {
    logic_.Defaults();
    Refresh();
  });
  content->addSpacing(13);
  content->addWidget(defaults, 0, Qt::AlignLeft);

  auto* panel = new QWidget(this);
  panel->setObjectName("Panel1");
  auto* ok = NewButton("BitBtn1", kOkText, kButtonSize, panel);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] {
    if (Run([this] { logic_.Ok(); })) accept();
  });
  auto* cancel = NewButton("BitBtn2", kCancelText, kButtonSize, panel);
  connect(cancel, &QPushButton::clicked, this, [this] {
    logic_.Cancel();
    reject();
  });
  apply_ = NewButton("BitBtn3", kApplyText, kButtonSize, panel);
  connect(apply_, &QPushButton::clicked, this, [this] {
    Run([this] { logic_.Apply(); });
    Refresh();
  });
  auto* buttons = new QHBoxLayout(panel);
  buttons->setContentsMargins(10, 5, 12, 11);
  buttons->setSpacing(5);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(apply_);

  // A dialog border: the dialog takes the size its contents ask for and cannot be resized.
  auto* column = new QVBoxLayout(this);
  column->setSizeConstraint(QLayout::SetFixedSize);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addLayout(content);
  column->addWidget(panel);
  column->activate();  // sized before the first showing, so that it centres on its owner
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
