// Display names of the expression types.
#include "expr/exp_type.h"

namespace dbase {

std::string_view ExpTypeName(ExpType type) {
  static constexpr std::string_view kNames[] = {"Unknown", "Empty",   "Any",     "Text",
                                                "Number",  "Integer", "Date",    "DateTime",
                                                "Boolean", "Memo",    "Pointer"};
  auto index = static_cast<size_t>(type);
  if (index < sizeof kNames / sizeof kNames[0]) return kNames[index];
  return "Invalid Value";
}

}  // namespace dbase
