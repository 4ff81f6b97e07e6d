// The options dialog's logic: what each button writes to the settings file.
#include "config/options_dialog.h"

#include <filesystem>

#include "config/text_case.h"
#include "platform/ini_file.h"

namespace quarvel {
namespace {

const char* KeyOf(OutputKind kind) {
  switch (kind) {
    case OutputKind::kTxt: return kKeyTxt;
    case OutputKind::kCsv: return kKeyCsv;
    case OutputKind::kDbf: return kKeyDbf;
  }
  return kKeyTxt;
}

}  // namespace

const char* FolderLabel(OutputKind kind) {
  switch (kind) {
    case OutputKind::kTxt: return "Standard Data Format (*.txt)";
    case OutputKind::kCsv: return "Comma Separated Value (*.csv)";
    case OutputKind::kDbf: return "dBase V (*.dbf)";
  }
  return "";
}

std::string BrowsePrompt(OutputKind kind) {
  switch (kind) {
    case OutputKind::kTxt:
      return "Selecione o repositório de arquivos texto\nSDF - Standard Data Format";
    case OutputKind::kCsv:
      return "Selecione o repositório de arquivos texto\nCSV - Comma Separated Value";
    case OutputKind::kDbf:
      return "Selecione o repositório de arquivos\nDBF - dBase V";
  }
  return "";
}

OptionsDialog::OptionsDialog(std::string program_folder, std::string ini_file_name,
                             Settings& settings)
    : program_folder_(std::move(program_folder)),
      ini_file_name_(std::move(ini_file_name)),
      settings_(settings) {}

void OptionsDialog::Activate() {
  no_export_ = {!settings_.make_txt, !settings_.make_csv, !settings_.make_dbf};
  folders_ = {settings_.txt_folder, settings_.csv_folder, settings_.dbf_folder};
  apply_enabled_ = false;
}

void OptionsDialog::SetFolderText(OutputKind kind, const std::string& text) {
  if (folders_[Index(kind)] == text) return;
  folders_[Index(kind)] = text;
  apply_enabled_ = true;
}

void OptionsDialog::SetNoExport(OutputKind kind, bool checked) {
  if (no_export_[Index(kind)] == checked) return;
  no_export_[Index(kind)] = checked;
  apply_enabled_ = true;
}

void OptionsDialog::Apply() {
  dbase::platform::IniFile ini(ini_file_name_);
  for (OutputKind kind : kOutputKinds) {
    if (NoExport(kind)) {
      ini.WriteString(kSectionDo, KeyOf(kind), kNoExport);
    } else {
      ini.DeleteKey(kSectionDo, KeyOf(kind));
    }
  }
  // A folder equal to the program folder is the default and is not stored (textual comparison:
  // a trailing separator makes it differ).
  const std::string program_upper = UpperUtf8(program_folder_);
  for (OutputKind kind : kOutputKinds) {
    if (UpperUtf8(FolderText(kind)) == program_upper) {
      ini.DeleteKey(kSectionDir, KeyOf(kind));
    } else {
      ini.WriteString(kSectionDir, KeyOf(kind), FolderText(kind));
    }
  }
  apply_enabled_ = false;
  ReadSettings();
}

void OptionsDialog::Defaults() {
  for (OutputKind kind : kOutputKinds) {
    SetNoExport(kind, false);
    SetFolderText(kind, program_folder_);
  }
}

void OptionsDialog::Browse(OutputKind kind, FolderBrowser& browser) {
  std::string start = FolderText(kind);
  std::error_code ec;
  if (start.empty() || !std::filesystem::is_directory(start, ec)) start.clear();
  if (auto chosen = browser.BrowseForFolder(BrowsePrompt(kind), start)) {
    SetFolderText(kind, *chosen);
  }
}

void OptionsDialog::ReadSettings() { settings_ = ReadIni(ini_file_name_, program_folder_); }

}  // namespace quarvel
