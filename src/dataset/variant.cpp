// Display text of a variant.
#include "dataset/variant.h"

#include "dataset/date_time.h"

namespace quarvel {

std::string Variant::ToText() const {
  switch (kind()) {
    case Kind::kNull:
      return "";
    case Kind::kText:
      return text();
    case Kind::kInteger:
      return std::to_string(integer());
    case Kind::kFloat:
      return NumberText(number());
    case Kind::kBoolean:
      return boolean() ? "True" : "False";
    case Kind::kDateTime:
      return DateTimeText(date_time());
  }
  return "";
}

}  // namespace quarvel
