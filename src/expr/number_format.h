// Fixed-point formatting of numbers for STR, rounding half away from zero.
#pragma once

#include <string>

namespace dbase {

// `value` with exactly `decimals` digits after "." (no "." for 0), rounded half away from zero
// on its shortest decimal form (so 2.675 gives 2.68); no sign for a result that is zero.
// Infinities and NaN give "inf", "-inf" and "nan".
std::string FormatRounded(double value, int decimals);

}  // namespace dbase
