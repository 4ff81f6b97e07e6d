// Decimal text <-> number conversions of the table layer, always with "." whatever the locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dbase {

// Reads a decimal number (surrounding blanks allowed, optional sign, fraction and exponent).
// Empty or malformed text gives nothing.
std::optional<long double> ParseDecimal(std::string_view text);

// Fixed-point form with `decimals` digits after "." (none when 0), right-justified in `width`
// with spaces. The result is longer than `width` when the number does not fit.
std::string FormatFixed(long double value, int width, int decimals);

}  // namespace dbase
