// STR's fixed-point form: the table layer's decimal rounding, and texts for infinities and NaN.
#include "expr/number_format.h"

#include <cmath>

#include "dbf/number_text.h"

namespace dbase {

std::string FormatRounded(double value, int decimals) {
  if (!std::isfinite(value)) return std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
  return RoundedDecimal(value, decimals);
}

}  // namespace dbase
