// Conversions between numbers and text, and the sort-reversing DESCEND: STR, STRZERO, VAL,
// DESCEND.
#include <charconv>
#include <cmath>
#include <string>

#include "expr/builtin_library.h"
#include "expr/date_value.h"
#include "expr/exp_handler.h"
#include "expr/fn_support.h"
#include "expr/limits.h"
#include "expr/number_format.h"
#include "expr/user_link.h"
#include "platform/locale.h"

namespace dbase {

namespace {

// Later dates give smaller numbers under DESCEND.
constexpr double kDescendDateBase = 5231808;

// The number right-aligned in a field of `width` with `decimals` (rounded); width asterisks
// when it does not fit.
class UDFStr : public BuiltinFunction {
 public:
  UDFStr() : BuiltinFunction("STR") {}

  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    double value = NumberArg(node, 0, out);
    Variant option;
    double width_arg = 0, decimals_arg = 0;
    int width = DefaultWidth(node);
    if (OptionalNumberArg(node, 1, option, width_arg)) width = WholeNumber(width_arg);
    int decimals = OptionalNumberArg(node, 2, option, decimals_arg) ? WholeNumber(decimals_arg) : 0;
    if (width < 0) width = 0;
    CheckTextLength(static_cast<size_t>(width), Name());
    // More decimals than the width can never fit; do not build them.
    if (decimals > width) decimals = width;
    std::string text = FormatRounded(value, decimals);
    ExprText& result = out.MutableText();
    if (text.size() > static_cast<size_t>(width)) {
      result.assign(static_cast<size_t>(width), '*');
    } else {
      result.assign(static_cast<size_t>(width) - text.size(), ' ');
      result += text;
    }
    Finish(result);
    type = ExpType::Text;
  }

 protected:
  explicit UDFStr(std::string_view name) : BuiltinFunction(name) {}
  virtual void Finish(ExprText& /*text*/) const {}

 private:
  static int DefaultWidth(ExpFunction& node) {
    const ExpUserLink* link = node.handler().link();
    int width = link != nullptr ? link->str_width() : 10;
    return width < 1 ? 10 : width;
  }
};

// STR with every leading blank turned into "0".
class UDFStrZero : public UDFStr {
 public:
  UDFStrZero() : UDFStr("STRZERO") {}

 protected:
  void Finish(ExprText& text) const override {
    for (char& c : text) {
      if (c != ' ') break;
      c = '0';
    }
  }
};

// The text read as a number with the user's decimal separator; 0 when it is not one.
class UDFVal : public BuiltinFunction {
 public:
  UDFVal() : BuiltinFunction("VAL") {}

  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    std::string_view text = TextArg(node, 0, out);
    ReturnNumber(out, type, Read(text));
  }

 private:
  static double Read(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
      negative = text.front() == '-';
      text.remove_prefix(1);
    }
    if (text.empty()) return 0;
    const char separator = platform::DecimalSeparator();
    std::string plain(text);
    for (char& c : plain) {
      if (c == separator) {
        c = '.';
      } else if (c == '.' || c == '+' || c == ',') {
        return 0;  // a point that is not the separator, or a second sign
      }
    }
    if (!((plain[0] >= '0' && plain[0] <= '9') || plain[0] == '.')) return 0;  // no "inf", "nan"
    double value = 0;
    auto res = std::from_chars(plain.data(), plain.data() + plain.size(), value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != plain.data() + plain.size()) return 0;
    return negative ? -value : value;
  }
};

class UDFDescend : public BuiltinFunction {
 public:
  UDFDescend() : BuiltinFunction("DESCEND") {}

  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    ArgValue(node, 0, out, ExpType::Any, type);
    if (type == ExpType::Date) {
      double date = out.number();
      out.SetNumber(IsEmptyDate(date) ? date : kDescendDateBase - date);
    } else if (IsNumericFamily(type)) {
      double number = out.number();
      out.SetNumber(number == 0 ? 0.0 : -number);
    } else if (type == ExpType::Text) {
      for (char& c : out.MutableText()) c = static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
    } else if (type == ExpType::Boolean) {
      out.SetBoolean(!out.boolean());
    } else {
      out.SetBoolean(false);
    }
  }
};

}  // namespace

void AddConversionFunctions(FunctionList& out) {
  out.push_back(std::make_unique<UDFStr>());
  out.push_back(std::make_unique<UDFStrZero>());
  out.push_back(std::make_unique<UDFVal>());
  out.push_back(std::make_unique<UDFDescend>());
}

}  // namespace dbase
