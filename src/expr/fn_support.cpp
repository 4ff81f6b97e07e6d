// Argument and number helpers of the built-in functions.
#include "expr/fn_support.h"

#include <climits>
#include <cmath>

namespace dbase {

double NumberArg(ExpFunction& node, size_t n, Variant& scratch) {
  ExpType type;
  ArgValue(node, n, scratch, ExpType::Number, type);
  return scratch.number();
}

std::string_view TextArg(ExpFunction& node, size_t n, Variant& scratch) {
  ExpType type;
  ArgValue(node, n, scratch, ExpType::Text, type);
  return scratch.text();
}

bool OptionalNumberArg(ExpFunction& node, size_t n, Variant& scratch, double& value) {
  ExpType type;
  ArgValue(node, n, scratch, ExpType::Any, type);
  if (!IsNumericFamily(type)) return false;
  value = scratch.number();
  return true;
}

int WholeNumber(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

int64_t WholeNumber64(double value) {
  constexpr double kLimit = 4611686018427387904.0;  // 2^62
  if (std::isnan(value)) return 0;
  if (value >= kLimit) return static_cast<int64_t>(kLimit);
  if (value <= -kLimit) return -static_cast<int64_t>(kLimit);
  return static_cast<int64_t>(value);
}

}  // namespace dbase
