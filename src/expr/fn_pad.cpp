// Padding functions PADC, PADL and PADR over their common base UDFPadMain.
#include "dbf/errors.h"
#include "expr/builtin_library.h"
#include "expr/fn_support.h"
#include "expr/limits.h"

namespace dbase {

namespace {

enum class Align { Centre, Right, Left };

// The value as text in a field of `width` pad characters; a text at least that long is
// returned as it is (never cut).
class UDFPadMain : public BuiltinFunction {
 public:
  UDFPadMain(std::string_view name, Align align) : BuiltinFunction(name), align_(align) {}

  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    ExpType arg_type;
    ArgValue(node, 2, out, ExpType::Any, arg_type);
    char pad = ' ';
    if (arg_type != ExpType::Empty) {
      if (arg_type != ExpType::Text || out.text().size() != 1) throw ExpressionError::Make(kExpValueInvalid, "Char");
      pad = out.text().front();
    }
    ArgValue(node, 0, out, ExpType::Any, arg_type);
    if (arg_type == ExpType::Empty) throw ExpressionError::Make(kExpArgNeeded, "Value", 1, "Pad");
    std::string text = out.ToText();
    Variant number;
    int width = WholeNumber(NumberArg(node, 1, number));
    type = ExpType::Text;
    if (width < 0 || text.size() >= static_cast<size_t>(width)) {
      out.SetText(text);
      return;
    }
    CheckTextLength(static_cast<size_t>(width), Name());
    size_t fill = static_cast<size_t>(width) - text.size();
    size_t before = align_ == Align::Left ? 0 : align_ == Align::Right ? fill : fill / 2;
    ExprText& result = out.MutableText();
    result.assign(before, pad);
    result += text;
    result.append(fill - before, pad);
  }

 private:
  Align align_;
};

}  // namespace

void AddPadFunctions(FunctionList& out) {
  out.push_back(std::make_unique<UDFPadMain>("PADC", Align::Centre));
  out.push_back(std::make_unique<UDFPadMain>("PADL", Align::Right));
  out.push_back(std::make_unique<UDFPadMain>("PADR", Align::Left));
}

}  // namespace dbase
