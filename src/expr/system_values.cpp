// The system values TRUE, FALSE and PI, registered as field variables.
#include <numbers>

#include "expr/builtin_library.h"

namespace dbase {

namespace {

class SDVBoolean : public UserDefFieldVar {
 public:
  SDVBoolean(std::string_view name, bool value) : UserDefFieldVar(name), value_(value) {}
  void Evaluate(Variant& out, ExpType& type) override {
    out.SetBoolean(value_);
    type = ExpType::Boolean;
  }

 private:
  bool value_;
};

class SDVPi : public UserDefFieldVar {
 public:
  SDVPi() : UserDefFieldVar("PI") {}
  void Evaluate(Variant& out, ExpType& type) override {
    out.SetNumber(std::numbers::pi);
    type = ExpType::Number;
  }
};

}  // namespace

void AddSystemValues(FieldVarReg& registry) {
  registry.AddFieldVar(std::make_shared<SDVBoolean>("TRUE", true));
  registry.AddFieldVar(std::make_shared<SDVBoolean>("FALSE", false));
  registry.AddFieldVar(std::make_shared<SDVPi>());
}

}  // namespace dbase
