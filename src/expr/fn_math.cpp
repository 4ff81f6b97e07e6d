// Arithmetic and trigonometric functions: ABS, ACOS, ASIN, ATAN, ATN2, CEILING, COS, DTOR,
// FLOOR, INT, LOG, LOG10, MOD, PI, RTOD, SIN, TAN.
#include <cmath>
#include <numbers>

#include "dbf/errors.h"
#include "expr/builtin_library.h"
#include "expr/fn_support.h"

namespace dbase {

namespace {

enum class Domain { Any, MinusOneToOne, Positive };

// A function of one Number, with the range check some of them need.
class UDFMath : public BuiltinFunction {
 public:
  UDFMath(std::string_view name, double (*fn)(double), Domain domain = Domain::Any)
      : BuiltinFunction(name), fn_(fn), domain_(domain) {}

  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    double x = NumberArg(node, 0, out);
    if (domain_ == Domain::MinusOneToOne && std::fabs(x) > 1) {
      throw ExpressionError::Make(kExpArgRange, Name(), "-1 to +1");
    }
    if (domain_ == Domain::Positive && !(x > 0)) throw ExpressionError::Make(kExpArgRange, Name(), "> 0");
    ReturnNumber(out, type, fn_(x));
  }

 private:
  double (*fn_)(double);
  Domain domain_;
};

class UDFAtn2 : public BuiltinFunction {
 public:
  UDFAtn2() : BuiltinFunction("ATN2") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    double y = NumberArg(node, 0, out);
    double x = NumberArg(node, 1, out);
    ReturnNumber(out, type, std::atan2(y, x));
  }
};

// Remainder of the truncated operands, with the sign of the dividend.
class UDFMod : public BuiltinFunction {
 public:
  UDFMod() : BuiltinFunction("MOD") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    double a = std::trunc(NumberArg(node, 0, out));
    double b = std::trunc(NumberArg(node, 1, out));
    if (b == 0) throw ExpressionError::Make(kExpDivisionByZero);
    const double remainder = std::fmod(a, b);
    if (!std::isfinite(remainder)) throw ExpressionError::Make(kNumericOverflow, Name());
    ReturnNumber(out, type, remainder);
  }
};

class UDFPi : public BuiltinFunction {
 public:
  UDFPi() : BuiltinFunction("PI") {}
  void Evaluate(ExpFunction& /*node*/, Variant& out, ExpType& type) override {
    ReturnNumber(out, type, std::numbers::pi);
  }
};

double Abs(double x) { return std::fabs(x); }
double Acos(double x) { return std::acos(x); }
double Asin(double x) { return std::asin(x); }
double Atan(double x) { return std::atan(x); }
double Ceiling(double x) { return std::ceil(x); }
double Cos(double x) { return std::cos(x); }
double DegreesToRadians(double x) { return x * std::numbers::pi / 180.0; }
double Floor(double x) { return std::floor(x); }
double Int(double x) { return std::trunc(x); }
double Log(double x) { return std::log(x); }
double Log10(double x) { return std::log10(x); }
double RadiansToDegrees(double x) { return x * 180.0 / std::numbers::pi; }
double Sin(double x) { return std::sin(x); }
double Tan(double x) { return std::tan(x); }

}  // namespace

void AddMathFunctions(FunctionList& out) {
  out.push_back(std::make_unique<UDFMath>("ABS", Abs));
  out.push_back(std::make_unique<UDFMath>("ACOS", Acos, Domain::MinusOneToOne));
  out.push_back(std::make_unique<UDFMath>("ASIN", Asin, Domain::MinusOneToOne));
  out.push_back(std::make_unique<UDFMath>("ATAN", Atan));
  out.push_back(std::make_unique<UDFAtn2>());
  out.push_back(std::make_unique<UDFMath>("CEILING", Ceiling));
  out.push_back(std::make_unique<UDFMath>("COS", Cos));
  out.push_back(std::make_unique<UDFMath>("DTOR", DegreesToRadians));
  out.push_back(std::make_unique<UDFMath>("FLOOR", Floor));
  out.push_back(std::make_unique<UDFMath>("INT", Int));
  out.push_back(std::make_unique<UDFMath>("LOG", Log, Domain::Positive));
  out.push_back(std::make_unique<UDFMath>("LOG10", Log10, Domain::Positive));
  out.push_back(std::make_unique<UDFMod>());
  out.push_back(std::make_unique<UDFPi>());
  out.push_back(std::make_unique<UDFMath>("RTOD", RadiansToDegrees));
  out.push_back(std::make_unique<UDFMath>("SIN", Sin));
  out.push_back(std::make_unique<UDFMath>("TAN", Tan));
}

}  // namespace dbase
