// ReadIni: the settings file into the six settings.
#include "config/settings.h"

#include "platform/ini_file.h"

namespace quarvel {

Settings ReadIni(const std::string& ini_file_name, const std::string& program_folder) {
  const dbase::platform::IniFile ini(ini_file_name);
  Settings settings;
  settings.make_txt = ini.ReadString(kSectionDo, kKeyTxt, "") != kNoExport;
  settings.make_csv = ini.ReadString(kSectionDo, kKeyCsv, "") != kNoExport;
  settings.make_dbf = ini.ReadString(kSectionDo, kKeyDbf, "") != kNoExport;
  settings.txt_folder = ini.ReadString(kSectionDir, kKeyTxt, program_folder);
  settings.csv_folder = ini.ReadString(kSectionDir, kKeyCsv, program_folder);
  settings.dbf_folder = ini.ReadString(kSectionDir, kKeyDbf, program_folder);
  return settings;
}

}  // namespace quarvel
