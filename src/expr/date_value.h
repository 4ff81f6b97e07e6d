// Dates inside expressions: a Julian day number carried as a double, with the empty date as
// 1e100 so that it stays recognisable through arithmetic.
#pragma once

#include <cstdint>
#include <string_view>

namespace dbase {

inline constexpr double kEmptyDate = 1e100;

// True for 1e100 (and beyond), for a day number of 0 or below, and for NaN.
bool IsEmptyDate(double date);

// The expression form of an engine date: an engine JDN of 0 or below becomes 1e100.
double JulToExpDate(int32_t jdn);

// The engine JDN of an expression date: 0 for the empty date; a date the engine cannot
// represent (before year 1 or after 9999) raises "A Date value is required but invalid".
int32_t ExpDateToJul(double date);

// Reads a date text as CTOD does (the user's short date format, or yyyymmdd); a blank text is
// the empty date. A text that is no date raises "A Date value is required but invalid".
double TextToExpDate(std::string_view text);

}  // namespace dbase
