// Conversions of the date-time scale (days since 30 December 1899, time as the fraction) to
// and from the engine's Julian day numbers, calendar parts, millisecond time stamps and texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dataset/variant.h"

namespace quarvel {

// Julian day number of day 0 of the date-time scale (30 December 1899).
inline constexpr int32_t kDateTimeJulianOffset = 2415019;

// The calendar date; nullopt when year, month or day is out of range (years 1..9999).
std::optional<DateTime> EncodeDate(int year, int month, int day);
// Year, month and day of the date part; false when the date lies outside years 1..9999.
bool DecodeDate(DateTime value, int& year, int& month, int& day);

// Julian day number of the date part (time dropped); -1 outside years 1..9999.
int32_t ToJulian(DateTime value);
DateTime FromJulian(int32_t jdn);

// Milliseconds since the start of 1 January 0001 counted from day 1, the stored form of
// date-time fields, and back.
long double ToTimeStampMs(DateTime value);
DateTime FromTimeStampMs(long double ms);

// Short date text of the date part ("" outside the calendar range).
std::string DateText(DateTime value);
// Date text, then " hh:mm:ss" when the time part is not midnight.
std::string DateTimeText(DateTime value);
// Reads a short date or "yyyymmdd", optionally followed by " hh:mm[:ss]"; nullopt when the text
// is no date. Blank text is not a date either: callers treat it as absent first.
std::optional<DateTime> ParseDateTime(std::string_view text);

// Numbers as the dataset shows them: "." and up to 15 significant digits.
std::string NumberText(double value);
// Reads a decimal number with "." (blanks around allowed); nullopt otherwise.
std::optional<double> ParseNumber(std::string_view text);
std::optional<int64_t> ParseInteger(std::string_view text);

}  // namespace quarvel
