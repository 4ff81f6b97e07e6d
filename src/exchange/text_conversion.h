// Conversions of the text values read by the product import into typed field values: one CSV
// line into its values, and a text into a date, a logical, an integer or a floating-point
// number. None of them fails: malformed text gives a fixed fallback value. Texts are bytes in
// the Windows-1252 character set; bytes from 0x80 up are ordinary characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/variant.h"

namespace quarvel {

// The values of one CSV line, each with its surrounding blanks and one pair of enclosing double
// quotes removed. A comma inside a quoted value belongs to the value; quotes inside a value are
// kept (there is no escape convention). An empty line gives no values, and a comma at the end
// of the line adds no empty value after it.
std::vector<std::string> SplitCsvLine(std::string_view line);

// The date whose year, month and day are the first 8 digits of the text (other characters
// dropped, missing leading digits taken as "0"), clamped to a valid date: years below 1899 give
// 1899, a month out of 1..12 gives 12, a day out of range gives 30 (28 in February). A text
// without digits gives 30 December 1899, the empty date.
DateTime TextToDate(std::string_view text);

// True when the text begins with "T", "V" or "1" (either case).
bool TextToBoolean(std::string_view text);

// The number of the text cut towards zero, as the low 32 bits of that whole number. The text,
// blanks around it aside, must be a decimal number with "." as separator and an optional
// exponent ("-12.7", "+3", "1.5e3", ".5", "7."); anything else gives 0. The whole number may be
// of any size: 99999999999999999999 gives 1661992959.
int32_t TextToInteger(std::string_view text);

// The number of the text, read as TextToInteger reads it; 0 when the text is no such number or
// its value lies outside the range of a double (an overflow is no usable value, and an
// underflow is 0 anyway).
double TextToFloat(std::string_view text);

}  // namespace quarvel
