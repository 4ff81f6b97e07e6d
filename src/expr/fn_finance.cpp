// Annuity functions FV and PV.
#include <cmath>

#include "dbf/errors.h"
#include "expr/builtin_library.h"
#include "expr/fn_support.h"

namespace dbase {

namespace {

// FV(payment, rate, periods, [present value], [payment time]) and
// PV(payment, rate, periods, [future value], [payment time]); both give an absolute value.
class UDFAnnuity : public BuiltinFunction {
 public:
  UDFAnnuity(std::string_view name, bool future, std::string_view operation)
      : BuiltinFunction(name), future_(future), operation_(operation) {}

  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    double payment = NumberArg(node, 0, out);
    double rate = NumberArg(node, 1, out);
    double periods = std::trunc(NumberArg(node, 2, out));
    double other = 0, when = 0;
    OptionalNumberArg(node, 3, out, other);
    OptionalNumberArg(node, 4, out, when);
    if (std::fabs(when) > 1) throw ExpressionError::Make(kExpArgRange, "FV PaymentTime", "0 or 1");
    if (!(rate > -1)) throw ExpressionError::Make(kExpInvalidArgument, operation_);

    double growth = 1, annuity = periods;
    if (rate != 0 && std::fabs(rate) < 0.000061) {
      // Close to 0 the closed forms lose their digits; use the series.
      annuity = periods * (1 + rate * (periods - 1) / 2);
      growth = std::exp(periods * std::log1p(rate));
    } else if (rate != 0) {
      growth = std::pow(1 + rate, periods);
      annuity = (growth - 1) / rate;
    }
    if (when == 1) annuity *= 1 + rate;

    double result = 0;
    if (future_) {
      if (growth > 1e16) throw ExpressionError::Make(kExpInvalidArgument, operation_);
      result = -(payment * annuity + other * growth);
    } else {
      result = -(payment * annuity + other) / growth;
    }
    ReturnNumber(out, type, std::fabs(result));
  }

 private:
  bool future_;
  std::string_view operation_;
};

}  // namespace

void AddFinanceFunctions(FunctionList& out) {
  out.push_back(std::make_unique<UDFAnnuity>("FV", true, "FutureValue"));
  out.push_back(std::make_unique<UDFAnnuity>("PV", false, "PresentValue"));
}

}  // namespace dbase
