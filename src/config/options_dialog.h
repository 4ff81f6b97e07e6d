// The options dialog's logic, free of any toolkit: three repository folders with a "do not make
// this kind of file" box each, "Aplicar", "OK", "Cancelar", "Configuração padrão" and the folder
// browse. A view shows this state and forwards the user's actions.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "config/settings.h"

namespace quarvel {

// The three kinds of desktop file, in the order the dialog lists them.
enum class OutputKind { kTxt = 0, kCsv = 1, kDbf = 2 };
inline constexpr std::array<OutputKind, 3> kOutputKinds = {OutputKind::kTxt, OutputKind::kCsv,
                                                           OutputKind::kDbf};

// The folder picker behind "Procurar": returns the chosen folder, or nothing when cancelled.
class FolderBrowser {
 public:
  virtual ~FolderBrowser() = default;
  // `prompt` holds two lines separated by "\n"; `start_folder` is empty or an existing folder.
  virtual std::optional<std::string> BrowseForFolder(const std::string& prompt,
                                                     const std::string& start_folder) = 0;
};

// Dialog texts.
inline constexpr const char* kOptionsCaption = "Opções";
inline constexpr const char* kOptionsHeading = "Configure o repositório de arquivos...";
inline constexpr const char* kNoExportText = "NÃO gerar este tipo de arquivo";
inline constexpr const char* kBrowseHint = "Procurar";
inline constexpr const char* kDefaultsText = "Configuração padrão";
inline constexpr const char* kOkText = "OK";
inline constexpr const char* kCancelText = "Cancelar";
inline constexpr const char* kApplyText = "Aplicar";

// The label above a kind's folder and the prompt of its folder browse.
const char* FolderLabel(OutputKind kind);
std::string BrowsePrompt(OutputKind kind);

class OptionsDialog {
 public:
  // `settings` is the process-wide settings object that ReadIni loads.
  OptionsDialog(std::string program_folder, std::string ini_file_name, Settings& settings);

  // Each showing refills the controls from the settings and disables "Aplicar".
  void Activate();

  const std::string& FolderText(OutputKind kind) const { return folders_[Index(kind)]; }
  bool NoExport(OutputKind kind) const { return no_export_[Index(kind)]; }
  bool ApplyEnabled() const { return apply_enabled_; }

  // The user's edits: a change of text or of a check box enables "Aplicar".
  void SetFolderText(OutputKind kind, const std::string& text);
  void SetNoExport(OutputKind kind, bool checked);

  // "Aplicar": writes the controls to the settings file, disables "Aplicar", re-reads settings.
  void Apply();
  // "OK": the "Aplicar" steps whatever the state of that button; the view then closes.
  void Ok() { Apply(); }
  // "Cancelar": nothing is written. "Configuração padrão": controls to the defaults, unsaved.
  void Cancel() {}
  void Defaults();
  // "Procurar" for one kind.
  void Browse(OutputKind kind, FolderBrowser& browser);

  // ReadIni into the process-wide settings.
  void ReadSettings();

 private:
  static std::size_t Index(OutputKind kind) { return static_cast<std::size_t>(kind); }

  std::string program_folder_;
  std::string ini_file_name_;
  Settings& settings_;
  std::array<std::string, 3> folders_;
  std::array<bool, 3> no_export_{};
  bool apply_enabled_ = false;
};

}  // namespace quarvel
