// Date-time scale conversions over the engine's calendar (proleptic Gregorian, years 1..9999).
#include "dataset/date_time.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "dbf/dbf_date.h"
#include "dbf/errors.h"
#include "platform/text_trim.h"

namespace quarvel {

namespace {

constexpr long double kMsPerDay = 86400000.0L;
// Day number of 30 December 1899 in the time-stamp count, where 1 January 0001 is day 1.
constexpr long double kTimeStampDateDelta = 693594.0L;


bool ParseTimeOfDay(std::string_view text, double& fraction) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  size_t at = 0;
  while (at <= text.size() && count < 3) {
    size_t colon = text.find(':', at);
    std::string_view piece = text.substr(at, colon == std::string_view::npos ? std::string_view::npos : colon - at);
    int v = 0;
    auto res = std::from_chars(piece.data(), piece.data() + piece.size(), v);
    if (piece.empty() || res.ec != std::errc() || res.ptr != piece.data() + piece.size()) return false;
    parts[count++] = v;
    if (colon == std::string_view::npos) break;
    at = colon + 1;
  }
  if (count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
  fraction = (parts[0] * 3600.0 + parts[1] * 60.0 + parts[2]) / 86400.0;
  return true;
}

}  // namespace

std::optional<DateTime> EncodeDate(int year, int month, int day) {
  int32_t jdn = dbase::DBFDate::PartsToJul(year, month, day);
  if (jdn < 0) return std::nullopt;
  return FromJulian(jdn);
}

int32_t ToJulian(DateTime value) {
  if (!std::isfinite(value.days)) return -1;
  double day = std::trunc(value.days);
  double jdn = day + kDateTimeJulianOffset;
  if (jdn < dbase::DBFDate::kMinJul || jdn > dbase::DBFDate::kMaxJul) return -1;
  return static_cast<int32_t>(jdn);
}

DateTime FromJulian(int32_t jdn) { return DateTime{static_cast<double>(jdn - kDateTimeJulianOffset)}; }

bool DecodeDate(DateTime value, int& year, int& month, int& day) {
  int32_t jdn = ToJulian(value);
  if (jdn < 0) return false;
  uint16_t m = 0, d = 0, y = 0;
  dbase::DBFDate::Shared().JulToParts(jdn, m, d, y);
  year = y;
  month = m;
  day = d;
  return true;
}

long double ToTimeStampMs(DateTime value) {
  long double whole = std::trunc(static_cast<long double>(value.days));
  long double time = std::round(std::fabs(static_cast<long double>(value.days) - whole) * kMsPerDay);
  return (whole + kTimeStampDateDelta) * kMsPerDay + time;
}

DateTime FromTimeStampMs(long double ms) {
  long double date = std::floor(ms / kMsPerDay);
  long double time = ms - date * kMsPerDay;
  long double days = date - kTimeStampDateDelta;
  long double result = days >= 0 ? days + time / kMsPerDay : days - time / kMsPerDay;
  return DateTime{static_cast<double>(result)};
}

std::string DateText(DateTime value) {
  int32_t jdn = ToJulian(value);
  if (jdn < 0) return "";
  try {
    std::string text = dbase::DBFDate::Shared().JulToDTOC(jdn);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  } catch (const dbase::ConversionError&) {
    return "";
  }
}

std::string DateTimeText(DateTime value) {
  std::string text = DateText(value);
  double whole = std::trunc(value.days);
  long long seconds = std::llround(std::fabs(value.days - whole) * 86400.0);
  if (seconds == 0 || seconds >= 86400) return text;
  char buf[16];
  std::snprintf(buf, sizeof buf, " %02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text + buf;
}

std::optional<DateTime> ParseDateTime(std::string_view text) {
  text = dbase::platform::TrimBlanksAndTabs(text);
  if (text.empty()) return std::nullopt;
  std::string_view date_part = text;
  std::string_view time_part;
  size_t space = text.find(' ');
  if (space != std::string_view::npos) {
    date_part = text.substr(0, space);
    time_part = dbase::platform::TrimBlanksAndTabs(text.substr(space + 1));
  }
  int32_t jdn = 0;
  try {
    jdn = dbase::DBFDate::Shared().TextToJul(date_part);
  } catch (const dbase::ConversionError&) {
    return std::nullopt;
  }
  if (jdn <= 0) return std::nullopt;
  DateTime result = FromJulian(jdn);
  if (!time_part.empty()) {
    double fraction = 0;
    if (!ParseTimeOfDay(time_part, fraction)) return std::nullopt;
    result.days = result.days >= 0 ? result.days + fraction : result.days - fraction;
  }
  return result;
}

std::string NumberText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (res.ptr - buf == 2 && buf[0] == '-' && buf[1] == '0') return "0";
  return std::string(buf, res.ptr);
}

std::optional<double> ParseNumber(std::string_view text) {
  text = dbase::platform::TrimBlanksAndTabs(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double v = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed | std::chars_format::scientific);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
  return v;
}

std::optional<int64_t> ParseInteger(std::string_view text) {
  text = dbase::platform::TrimBlanksAndTabs(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int64_t v = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
  return v;
}

}  // namespace quarvel
