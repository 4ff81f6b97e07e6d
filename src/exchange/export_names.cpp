// Export file names and today's date.
#include "exchange/export_names.h"

#include <ctime>

#include "dbf/file_names.h"
#include "platform/os_file.h"
#include "platform/paths.h"

namespace quarvel {
namespace {

std::string TwoDigits(int value) {
  const char text[3] = {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10), 0};
  return text;
}

bool NameTaken(const std::string& folder, const std::string& name) {
  return dbase::platform::FileExistsAnyCase(dbase::platform::JoinPath(folder, name));
}

}  // namespace

CalendarDay Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string MonthDayStamp(const CalendarDay& day) { return TwoDigits(day.month) + TwoDigits(day.day); }

std::string DateStamp(const CalendarDay& day) {
  return TwoDigits(day.year / 100) + TwoDigits(day.year % 100) + MonthDayStamp(day);
}

std::optional<std::string> ExportFileName(const std::string& folder, const std::string& prefix,
                                          const std::string& table_name,
                                          const std::string& extension, const CalendarDay& day) {
  if (prefix.empty()) return dbase::WithoutExtension(table_name) + extension;
  const std::string stem = prefix + MonthDayStamp(day);
  for (int n = 1; n <= 100; ++n) {
    // 01 ... 99, then 00: the last two digits of 100 + n.
    const std::string name = stem + TwoDigits((100 + n) % 100) + extension;
    if (!NameTaken(folder, name)) return name;
  }
  return std::nullopt;
}

std::string NoFreeNameLine(const std::string& folder, const std::string& prefix,
                           const std::string& extension, const CalendarDay& day) {
  const std::string stem = prefix + MonthDayStamp(day);
  return "> Arquivos " + stem + "01" + extension + " a " + stem + "00" + extension + " já existem em " +
         folder + ": exportação não realizada!";
}

}  // namespace quarvel
