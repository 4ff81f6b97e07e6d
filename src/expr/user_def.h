// The two kinds of named objects an expression can call on: functions (UserDefFunction) and
// field variables (UserDefFieldVar). The built-in library, the system values and every table's
// link derive from these.
#pragma once

#include <string>
#include <string_view>

#include "expr/exp_type.h"
#include "expr/variant.h"

namespace dbase {

class ExpFunction;

// A function callable as NAME(args). It fetches its own arguments from the node with ArgValue
// (expr/arg_value.h) and writes its result into `out`.
class UserDefFunction {
 public:
  UserDefFunction() = default;
  UserDefFunction(const UserDefFunction&) = delete;
  UserDefFunction& operator=(const UserDefFunction&) = delete;
  virtual ~UserDefFunction() = default;

  // The upper-case name under which the function is registered.
  virtual std::string_view Name() const { return {}; }
  // Base: no value, type Empty.
  virtual void Evaluate(ExpFunction& node, Variant& out, ExpType& type);
};

// Owner ids of field variables (what FieldNamesFor collects).
inline constexpr int kOwnerUserVariable = 16;
inline constexpr int kOwnerTableField = 17;

// A named value used without parentheses. Its name may list several names separated by ";"
// (a table field is known as NAME and ALIAS.NAME); they are upper-cased at construction.
class UserDefFieldVar {
 public:
  explicit UserDefFieldVar(std::string_view names);
  UserDefFieldVar(const UserDefFieldVar&) = delete;
  UserDefFieldVar& operator=(const UserDefFieldVar&) = delete;
  virtual ~UserDefFieldVar() = default;

  // The whole name list.
  const std::string& Name() const { return names_; }
  // The text before the first ";".
  std::string_view FirstName() const;
  virtual int OwnerId() const { return kOwnerUserVariable; }
  // Base: no value, type Empty.
  virtual void Evaluate(Variant& out, ExpType& type);
  // Evaluate for an operator: a value of the numeric family comes back in `number` and a logical
  // in `flag` without going through `out`; any other value is written to `out`. Returns the
  // type Evaluate gives. Base: Evaluate.
  virtual ExpType EvaluateOperand(Variant& out, double& number, bool& flag);
  // A text value held in place (a character field of the current record): sets `text` to what
  // Evaluate would give and returns true; the view lasts until the value changes. Base: false.
  virtual bool PeekText(std::string_view& text);

  int length() const { return length_; }
  int decimals() const { return decimals_; }

 protected:
  void set_length(int length) { length_ = length; }
  void set_decimals(int decimals) { decimals_ = decimals; }

 private:
  std::string names_;
  int length_ = 0;
  int decimals_ = 0;
};

// ASCII upper case of a name (names are letters, digits, "_" and the alias dot).
std::string UpperName(std::string_view name);

}  // namespace dbase
