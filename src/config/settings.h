// The six output settings (which exports run, and the three repository folders) and ReadIni,
// which loads them from the settings file.
#pragma once

#include <string>

namespace quarvel {

// INI sections and keys of the settings file.
inline constexpr const char* kSectionDo = "DO";
inline constexpr const char* kSectionDir = "DIR";
inline constexpr const char* kKeyTxt = "TXT";
inline constexpr const char* kKeyCsv = "CSV";
inline constexpr const char* kKeyDbf = "DBF";
// The one value ever written under DO: "do not make this kind of file".
inline constexpr const char* kNoExport = "N";

// Initial values (flags false, folders empty) hold until the first ReadIni.
struct Settings {
  bool make_txt = false;
  bool make_csv = false;
  bool make_dbf = false;
  std::string txt_folder;
  std::string csv_folder;
  std::string dbf_folder;

  bool operator==(const Settings&) const = default;
};

// Loads the settings from `ini_file_name`. A flag is false exactly when its key holds "N"
// (case-sensitive); a missing folder key gives `program_folder`. A missing file gives defaults.
Settings ReadIni(const std::string& ini_file_name, const std::string& program_folder);

}  // namespace quarvel
