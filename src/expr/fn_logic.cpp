// Logical and selecting functions: BETWEEN, EMPTY, IIF, INLIST, MAX, MIN.
#include <utility>

#include "dbf/errors.h"
#include "expr/builtin_library.h"
#include "expr/date_value.h"
#include "expr/fn_support.h"
#include "expr/text_compare.h"
#include "expr/variant_compare.h"

namespace dbase {

namespace {

// low <= x <= high, with low and high required to have x's type.
class UDFBetween : public BuiltinFunction {
 public:
  UDFBetween() : BuiltinFunction("BETWEEN") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    Variant x, low, high;
    ExpType x_type, bound_type;
    ArgValue(node, 0, x, ExpType::Any, x_type);
    ArgValue(node, 1, low, x_type, bound_type);
    ArgValue(node, 2, high, x_type, bound_type);
    ReturnBoolean(out, type, CompareVariants(low, x) <= 0 && CompareVariants(x, high) <= 0);
  }
};

class UDFEmpty : public BuiltinFunction {
 public:
  UDFEmpty() : BuiltinFunction("EMPTY") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    ExpType arg_type;
    ArgValue(node, 0, out, ExpType::Any, arg_type);
    bool empty = false;
    if (arg_type == ExpType::Date) {
      empty = IsEmptyDate(out.number());
    } else if (IsNumericFamily(arg_type)) {
      empty = out.number() == 0;
    } else if (arg_type == ExpType::Text) {
      empty = out.text().find_first_not_of(' ') == std::string_view::npos;
    } else if (arg_type == ExpType::Boolean) {
      empty = !out.boolean();
    }
    ReturnBoolean(out, type, empty);
  }
};

// Evaluates only the chosen branch.
class UDFIif : public BuiltinFunction {
 public:
  UDFIif() : BuiltinFunction("IIF") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    ArgValue(node, 0, out, ExpType::Boolean, type);
    ArgValue(node, out.boolean() ? 1 : 2, out, ExpType::Any, type);
    if (type == ExpType::Empty) out.SetNull();
  }
};

class UDFInList : public BuiltinFunction {
 public:
  UDFInList() : BuiltinFunction("INLIST") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    Variant x;
    ExpType x_type, item_type;
    ArgValue(node, 0, x, ExpType::Any, x_type);
    bool found = false;
    if (x_type != ExpType::Empty) {
      if (x.is_text()) x.SetText(std::string(TrimTrailing(x.text())));
      for (size_t i = 1; !found; ++i) {
        ArgValue(node, i, out, ExpType::Any, item_type);
        if (item_type == ExpType::Empty) break;
        found = CompareVariants(x, out) == 0;
      }
    }
    ReturnBoolean(out, type, found);
  }
};

// The largest (or smallest) of arguments that all have the first one's type.
class UDFExtreme : public BuiltinFunction {
 public:
  UDFExtreme(std::string_view name, std::string_view label, int wanted)
      : BuiltinFunction(name), label_(label), wanted_(wanted) {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    ArgValue(node, 0, out, ExpType::Any, type);
    if (type == ExpType::Empty) throw ExpressionError::Make(kExpValueRequired, label_);
    Variant item;
    ExpType item_type;
    for (size_t i = 1;; ++i) {
      ArgValue(node, i, item, ExpType::Any, item_type);
      if (item_type == ExpType::Empty) break;
      if (item_type != type) throw ExpressionError::Make(kExpSameType, label_);
      if (CompareVariants(item, out) == wanted_) std::swap(item, out);
    }
  }

 private:
  std::string_view label_;
  int wanted_;
};

}  // namespace

void AddLogicFunctions(FunctionList& out) {
  out.push_back(std::make_unique<UDFBetween>());
  out.push_back(std::make_unique<UDFEmpty>());
  out.push_back(std::make_unique<UDFIif>());
  out.push_back(std::make_unique<UDFInList>());
  out.push_back(std::make_unique<UDFExtreme>("MAX", "Max()", 1));
  out.push_back(std::make_unique<UDFExtreme>("MIN", "Min()", -1));
}

}  // namespace dbase
