// Date functions: CTOD, DATE, DOW, DTOC, DTOS.
#include "dbf/dbf_date.h"
#include "expr/builtin_library.h"
#include "expr/date_value.h"
#include "expr/fn_support.h"

namespace dbase {

namespace {

double DateArg(ExpFunction& node, size_t n, Variant& scratch) {
  ExpType type;
  ArgValue(node, n, scratch, ExpType::Date, type);
  return scratch.number();
}

class UDFCtod : public BuiltinFunction {
 public:
  UDFCtod() : BuiltinFunction("CTOD") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    ReturnDate(out, type, TextToExpDate(TextArg(node, 0, out)));
  }
};

class UDFDate : public BuiltinFunction {
 public:
  UDFDate() : BuiltinFunction("DATE") {}
  void Evaluate(ExpFunction& /*node*/, Variant& out, ExpType& type) override {
    ReturnDate(out, type, JulToExpDate(DBFDate::Shared().TodayJul()));
  }
};

class UDFDow : public BuiltinFunction {
 public:
  UDFDow() : BuiltinFunction("DOW") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    int32_t jdn = ExpDateToJul(DateArg(node, 0, out));
    ReturnNumber(out, type, DBFDate::Shared().JulDOW(jdn));
  }
};

// The date in the user's short date format; with a mode of 1, as yyyymmdd.
class UDFDtoc : public BuiltinFunction {
 public:
  UDFDtoc() : BuiltinFunction("DTOC") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    int32_t jdn = ExpDateToJul(DateArg(node, 0, out));
    double mode = 0;
    bool stored_form = OptionalNumberArg(node, 1, out, mode) && mode == 1;
    const DBFDate& dates = DBFDate::Shared();
    ReturnText(out, type, stored_form ? dates.JulToDTOS(jdn) : dates.JulToDTOC(jdn));
  }
};

class UDFDtos : public BuiltinFunction {
 public:
  UDFDtos() : BuiltinFunction("DTOS") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    int32_t jdn = ExpDateToJul(DateArg(node, 0, out));
    ReturnText(out, type, DBFDate::Shared().JulToDTOS(jdn));
  }
};

}  // namespace

void AddDateFunctions(FunctionList& out) {
  out.push_back(std::make_unique<UDFCtod>());
  out.push_back(std::make_unique<UDFDate>());
  out.push_back(std::make_unique<UDFDow>());
  out.push_back(std::make_unique<UDFDtoc>());
  out.push_back(std::make_unique<UDFDtos>());
}

}  // namespace dbase
