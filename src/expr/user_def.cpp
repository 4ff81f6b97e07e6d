// Base behaviour of functions and field variables.
#include "expr/user_def.h"

#include "platform/ascii_case.h"

namespace dbase {

void UserDefFunction::Evaluate(ExpFunction& /*node*/, Variant& out, ExpType& type) {
  out.SetNull();
  type = ExpType::Empty;
}

UserDefFieldVar::UserDefFieldVar(std::string_view names) : names_(UpperName(names)) {}

std::string_view UserDefFieldVar::FirstName() const {
  std::string_view all(names_);
  return all.substr(0, all.find(';'));
}

void UserDefFieldVar::Evaluate(Variant& out, ExpType& type) {
  out.SetNull();
  type = ExpType::Empty;
}

ExpType UserDefFieldVar::EvaluateOperand(Variant& out, double& number, bool& flag) {
  ExpType type = ExpType::Unknown;
  Evaluate(out, type);
  if (IsNumericFamily(type)) {
    number = out.number();
  } else if (type == ExpType::Boolean) {
    flag = out.boolean();
  }
  return type;
}

bool UserDefFieldVar::PeekText(std::string_view& /*text*/) { return false; }

std::string UpperName(std::string_view name) { return platform::UpperAscii(name); }

}  // namespace dbase
