// Text form of variants.
#include "expr/variant.h"

#include <charconv>

namespace dbase {

std::string NumberToText(double number) {
  if (number == 0) return "0";  // no "-0"
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::general, 15);
  return std::string(buf, res.ptr);
}

std::string Variant::ToText() const {
  switch (kind_) {
    case Kind::Text:
      return std::string(text_.data(), text_.size());
    case Kind::Number:
      return NumberToText(number_);
    case Kind::Boolean:
      return boolean_ ? "T" : "F";
    case Kind::Null:
      break;
  }
  return {};
}

}  // namespace dbase
