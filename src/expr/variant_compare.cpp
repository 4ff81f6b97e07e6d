// Cross-kind variant comparison.
#include "expr/variant_compare.h"

#include <charconv>
#include <cstring>
#include <string>

#include "dbf/errors.h"
#include "expr/user_def.h"

namespace dbase {

namespace {

const char* KindName(Variant::Kind kind) {
  switch (kind) {
    case Variant::Kind::Text: return "Text";
    case Variant::Kind::Number: return "Number";
    case Variant::Kind::Boolean: return "Boolean";
    case Variant::Kind::Null: break;
  }
  return "Empty";
}

template <class T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

[[noreturn]] void Refuse(const Variant& a, const Variant& b) {
  throw ExpressionError::Make(kExpCannotCompare, KindName(a.kind()), KindName(b.kind()));
}

bool ReadNumber(std::string_view text, double& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
  auto res = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return false;
  if (negative) value = -value;
  return true;
}

bool ReadBoolean(std::string_view text, bool& flag) {
  std::string upper = UpperName(text);
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  if (upper == "T" || upper == "TRUE") {
    flag = true;
    return true;
  }
  if (upper == "F" || upper == "FALSE") {
    flag = false;
    return true;
  }
  double number = 0;
  if (!ReadNumber(text, number)) return false;
  flag = number != 0;
  return true;
}

int CompareTextBytes(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  int r = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (r != 0) return r < 0 ? -1 : 1;
  return Sign(a.size(), b.size());
}

}  // namespace

int CompareVariants(const Variant& a, const Variant& b) {
  using Kind = Variant::Kind;
  if (a.is_null() || b.is_null()) return a.is_null() ? (b.is_null() ? 0 : -1) : 1;
  if (a.kind() == b.kind()) {
    switch (a.kind()) {
      case Kind::Text: return CompareTextBytes(a.text(), b.text());
      case Kind::Number: return Sign(a.number(), b.number());
      default: return Sign(a.boolean(), b.boolean());
    }
  }
  if (a.is_text() || b.is_text()) {
    const Variant& text = a.is_text() ? a : b;
    const Variant& other = a.is_text() ? b : a;
    int direction = a.is_text() ? 1 : -1;
    if (other.is_number()) {
      double number = 0;
      if (!ReadNumber(text.text(), number)) Refuse(a, b);
      return direction * Sign(number, other.number());
    }
    bool flag = false;
    if (!ReadBoolean(text.text(), flag)) Refuse(a, b);
    return direction * Sign(flag, other.boolean());
  }
  return Sign(a.number(), b.number());  // a boolean and a number
}

}  // namespace dbase
