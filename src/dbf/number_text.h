// Decimal text <-> number conversions of the table layer, always with "." whatever the locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dbase {

// Reads a decimal number (surrounding blanks allowed, optional sign, fraction and exponent).
// Empty or malformed text gives nothing.
std::optional<long double> ParseDecimal(std::string_view text);

// `value` (finite) with exactly `decimals` digits after "." (none when 0), rounded half away from
// zero on the shortest decimal form that reads back as the same number: the decimal the user gave,
// so 2.675 gives 2.68 although its binary value lies just below. A result that is zero carries no
// sign.
std::string RoundedDecimal(long double value, int decimals);

// The quick reading of what numeric fields nearly always hold: blanks, an optional sign, at most
// 19 digits with at most one "." among them, blanks. `*plain` is false for anything else, which
// the caller then reads with ParseDecimal; the value is the one ParseDecimal gives. (The value is
// returned rather than stored: an extended-precision value read back from memory just after it
// was stored stalls the processor, and a table scan reads one per record.)
long double ParsePlainDecimal(std::string_view text, bool* plain);

// RoundedDecimal right-justified in `width` with spaces. The result is longer than `width` when
// the number does not fit; infinities and NaN give width + 1 "*".
std::string FormatFixed(long double value, int width, int decimals);

}  // namespace dbase
