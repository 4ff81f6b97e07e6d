// Helpers shared by the built-in functions: a named base class, typed argument fetching,
// whole-number conversion and result writing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "expr/arg_value.h"
#include "expr/user_def.h"

namespace dbase {

class BuiltinFunction : public UserDefFunction {
 public:
  explicit BuiltinFunction(std::string_view name) : name_(name) {}
  std::string_view Name() const override { return name_; }

 private:
  std::string_view name_;
};

// Argument n, required to be a Number (or another numeric type).
double NumberArg(ExpFunction& node, size_t n, Variant& scratch);
// Argument n, required to be a Text.
std::string_view TextArg(ExpFunction& node, size_t n, Variant& scratch);
// Argument n when it is present and numeric: its value in `value` and true; else false.
bool OptionalNumberArg(ExpFunction& node, size_t n, Variant& scratch, double& value);

// Truncation toward zero, clamped to the int range; NaN gives 0.
int WholeNumber(double value);
// Truncation toward zero, clamped to +-2^62; NaN gives 0.
int64_t WholeNumber64(double value);

inline void ReturnNumber(Variant& out, ExpType& type, double value) {
  out.SetNumber(value);
  type = ExpType::Number;
}
inline void ReturnText(Variant& out, ExpType& type, std::string_view text) {
  out.SetText(text);
  type = ExpType::Text;
}
inline void ReturnBoolean(Variant& out, ExpType& type, bool flag) {
  out.SetBoolean(flag);
  type = ExpType::Boolean;
}
inline void ReturnDate(Variant& out, ExpType& type, double date) {
  out.SetNumber(date);
  type = ExpType::Date;
}

}  // namespace dbase
