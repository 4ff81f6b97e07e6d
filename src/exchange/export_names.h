// Names of the export files: the dated name (prefix, month and day, a sequence number that is
// the first one free in the output folder) and the plain name taken from the table's name.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quarvel {

struct CalendarDay {
  int year = 0;
  int month = 0;
  int day = 0;
};

// Today in local time.
CalendarDay Today();
using TodayFunction = std::function<CalendarDay()>;

// The month as two digits followed by the day as two digits ("1207" for 7 December).
std::string MonthDayStamp(const CalendarDay& day);
// The year as four digits, then MonthDayStamp ("20241207").
std::string DateStamp(const CalendarDay& day);

// The export file name (without folder) for `extension` (with its dot). With a prefix:
// prefix + MonthDayStamp + the first sequence number of 01, 02, ... 99, 00 whose name is not
// taken in `folder` (a name taken in another letter case counts); nullopt when all 100 are.
// Without a prefix: the table name with its extension replaced, taken or not.
std::optional<std::string> ExportFileName(const std::string& folder, const std::string& prefix,
                                          const std::string& table_name,
                                          const std::string& extension, const CalendarDay& day);

// The log line for a folder in which every sequence number of the day is taken.
std::string NoFreeNameLine(const std::string& folder, const std::string& prefix,
                           const std::string& extension, const CalendarDay& day);

}  // namespace quarvel
