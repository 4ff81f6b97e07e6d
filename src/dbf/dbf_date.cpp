// DBFDate: conversions between Julian day numbers, "yyyymmdd" texts and short-date texts, on a
// proleptic Gregorian calendar (days-from-civil arithmetic, so every year 1..9999 works).
#include "dbf/dbf_date.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "dbf/errors.h"
#include "platform/locale.h"

namespace dbase {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  int64_t year;
  int month;
  int day;
};

constexpr Civil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return Civil{yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// The date-time scale counts days from 30 December 1899.
constexpr int64_t kDateTimeEpoch = DaysFromCivil(1899, 12, 30);
// Julian day number of 1970-01-01, the origin of DaysFromCivil.
constexpr int64_t kUnixEpochJul = 2440588;

static_assert(DaysFromCivil(1, 1, 1) + kUnixEpochJul == DBFDate::kMinJul);
static_assert(DaysFromCivil(9999, 12, 31) + kUnixEpochJul == DBFDate::kMaxJul);

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return parts;
}

void AppendNumber(std::string& out, int64_t value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) out.append(width - digits.size(), '0');
  out += digits;
}

// The short date format in upper case, widened to a four-digit year while `century` is set.
std::string DisplayFormat(bool century) {
  std::string format = platform::UpperText(platform::ShortDateFormat());
  if (century && format.find("YYYY") == std::string::npos) {
    size_t at = format.find('Y');
    if (at == std::string::npos) at = 0;
    while (format.find("YYYY") == std::string::npos) format.insert(at, 1, 'Y');
  }
  return format;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void ThrowNotADate(std::string_view text) {
  throw ConversionError("'" + std::string(text) + "' is not a valid date");
}

[[noreturn]] void ThrowOutOfRange(int32_t jdn) {
  throw ConversionError("Julian day " + std::to_string(jdn) + " is outside the years 1 to 9999");
}

// Maps a two-digit year into the hundred years around the current one (50 back, 49 ahead).
int WidenYear(int two_digit, int current_year) {
  int year = current_year - current_year % 100 + two_digit;
  if (year > current_year + 49) year -= 100;
  if (year < current_year - 50) year += 100;
  return year;
}

}  // namespace

DBFDate::DBFDate()
    : offset_(static_cast<int32_t>(2444240 - (DaysFromCivil(1980, 1, 1) - kDateTimeEpoch))) {}

DBFDate& DBFDate::Shared() {
  static DBFDate instance;
  return instance;
}

void DBFDate::JulToParts(int32_t jdn, uint16_t& month, uint16_t& day, uint16_t& year) const {
  if (jdn <= 0) {
    month = day = year = 0;
    return;
  }
  const Civil c = CivilFromDays(static_cast<int64_t>(jdn) - offset_ + kDateTimeEpoch);
  if (c.year < 1 || c.year > 9999) ThrowOutOfRange(jdn);
  month = static_cast<uint16_t>(c.month);
  day = static_cast<uint16_t>(c.day);
  year = static_cast<uint16_t>(c.year);
}

int32_t DBFDate::TodayJul() const {
  const std::tm now = LocalNow();
  return static_cast<int32_t>(DaysFromCivil(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday) - kDateTimeEpoch +
                              offset_);
}

uint16_t DBFDate::JulDOW(int32_t jdn) const {
  if (jdn <= 0) return 0;
  // 30 December 1899, day 0 of the date-time scale, was a Saturday.
  const int64_t days = static_cast<int64_t>(jdn) - offset_;
  return static_cast<uint16_t>(((days % 7) + 7 + 6) % 7 + 1);
}

std::string DBFDate::JulToDTOS(int32_t jdn) const {
  if (jdn <= 0) return std::string(8, ' ');
  uint16_t month = 0, day = 0, year = 0;
  JulToParts(jdn, month, day, year);
  std::string out;
  AppendNumber(out, year, 4);
  AppendNumber(out, month, 2);
  AppendNumber(out, day, 2);
  return out;
}

std::string DBFDate::JulToDTOC(int32_t jdn) const {
  const std::string format = DisplayFormat(century_);
  if (jdn <= 0) return std::string(format.size(), ' ');
  uint16_t month = 0, day = 0, year = 0;
  JulToParts(jdn, month, day, year);
  const char separator = platform::DateSeparator();
  std::string out;
  for (size_t i = 0; i < format.size();) {
    const char c = format[i];
    size_t run = 1;
    while (i + run < format.size() && format[i + run] == c) ++run;
    switch (c) {
      case 'D': AppendNumber(out, day, run == 1 ? 1 : 2); break;
      case 'M': AppendNumber(out, month, run == 1 ? 1 : 2); break;
      case 'Y':
        if (run <= 2) {
          AppendNumber(out, year % 100, 2);
        } else {
          AppendNumber(out, year, 4);
        }
        break;
      case '/': out.append(run, separator); break;
      default: out.append(run, c); break;
    }
    i += run;
  }
  return out;
}

int32_t DBFDate::TextToJul(std::string_view text) const {
  std::string_view trimmed = text;
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  if (trimmed.empty() || text == "00000000") return 0;

  if (trimmed.size() == 8) {
    bool digits = true;
    for (char c : trimmed) digits = digits && IsDigit(c);
    if (digits) {
      auto number = [&](size_t at, size_t n) {
        int v = 0;
        for (size_t i = at; i < at + n; ++i) v = v * 10 + (trimmed[i] - '0');
        return v;
      };
      const int32_t jdn = PartsToJul(number(0, 4), number(4, 2), number(6, 2));
      // A stored date that is no calendar date reads as absent, like a blank one.
      return jdn < 0 ? 0 : FromTrueJul(jdn);
    }
  }

  const std::string format = platform::UpperText(platform::ShortDateFormat());
  const char separator = platform::DateSeparator();
  auto is_separator = [separator](char c) { return c == separator || c == '/' || c == '-' || c == '.'; };

  // A blank date as an input mask shows it ("  /  /    ") is the empty date.
  bool only_mask = true;
  for (char c : trimmed) only_mask = only_mask && (c == ' ' || is_separator(c));
  if (only_mask) return 0;

  // Field order as the format gives it; fields the format lacks follow in day, month, year order.
  std::vector<char> order;
  for (char c : format) {
    if ((c == 'D' || c == 'M' || c == 'Y') && std::find(order.begin(), order.end(), c) == order.end()) {
      order.push_back(c);
    }
  }
  for (char c : {'D', 'M', 'Y'}) {
    if (std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
  }

  struct Field {
    int value;
    size_t digits;
  };
  std::vector<Field> fields;
  size_t i = 0;
  while (i < trimmed.size() && trimmed[i] == ' ') ++i;
  while (true) {
    Field f{0, 0};
    while (i < trimmed.size() && IsDigit(trimmed[i])) {
      if (f.digits == 4) ThrowNotADate(text);
      f.value = f.value * 10 + (trimmed[i] - '0');
      ++f.digits;
      ++i;
    }
    if (f.digits == 0) ThrowNotADate(text);
    fields.push_back(f);
    while (i < trimmed.size() && trimmed[i] == ' ') ++i;
    if (i == trimmed.size()) break;
    if (!is_separator(trimmed[i]) || fields.size() == 3) ThrowNotADate(text);
    ++i;
    while (i < trimmed.size() && trimmed[i] == ' ') ++i;
  }
  if (fields.size() < 2) ThrowNotADate(text);

  const int current_year = LocalNow().tm_year + 1900;
  int day = 0, month = 0, year = current_year;
  size_t next = 0;
  for (char part : order) {
    if (fields.size() == 2 && part == 'Y') continue;  // day and month only: this year
    const Field& f = fields[next++];
    if (part == 'D') {
      day = f.value;
    } else if (part == 'M') {
      month = f.value;
    } else {
      year = f.digits <= 2 ? WidenYear(f.value, current_year) : f.value;
    }
  }
  const int32_t jdn = PartsToJul(year, month, day);
  if (jdn < 0) ThrowNotADate(text);
  return FromTrueJul(jdn);
}

int32_t DBFDate::FromTrueJul(int32_t true_jdn) const {
  return static_cast<int32_t>(true_jdn - (kDateTimeEpoch + kUnixEpochJul) + offset_);
}

int32_t DBFDate::PartsToJul(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return -1;
  return static_cast<int32_t>(DaysFromCivil(year, month, day) + kUnixEpochJul);
}

}  // namespace dbase
