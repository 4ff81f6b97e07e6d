// Conversions between engine dates and expression dates.
#include "expr/date_value.h"

#include <cmath>

#include "dbf/dbf_date.h"
#include "dbf/errors.h"

namespace dbase {

bool IsEmptyDate(double date) { return !(date > 0 && date < kEmptyDate); }

double JulToExpDate(int32_t jdn) { return jdn <= 0 ? kEmptyDate : static_cast<double>(jdn); }

int32_t ExpDateToJul(double date) {
  if (IsEmptyDate(date)) return 0;
  double day = std::trunc(date);
  if (day < DBFDate::kMinJul || day > DBFDate::kMaxJul) throw ExpressionError::Make(kExpValueInvalid, "Date");
  return static_cast<int32_t>(day);
}

double TextToExpDate(std::string_view text) {
  int32_t jdn = 0;
  try {
    jdn = DBFDate::Shared().TextToJul(text);
  } catch (const ConversionError&) {
    throw ExpressionError::Make(kExpValueInvalid, "Date");
  }
  return JulToExpDate(jdn);
}

}  // namespace dbase
