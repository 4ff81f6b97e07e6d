// Assembly of the built-in library: the groups' functions registered in the library's order.
#include "expr/builtin_library.h"

#include <algorithm>

namespace dbase {

namespace {
constexpr std::string_view kOrder[] = {
    "ABS",     "ALLTRIM", "ACOS",    "ASIN",    "ATAN",  "ATN2",    "ASC",    "AT",     "ATC",
    "BETWEEN", "CEILING", "CHR",     "COS",     "CTOD",  "DATE",    "DESCEND", "DOW",   "DTOC",
    "DTOR",    "DTOS",    "EMPTY",   "FLOOR",   "FV",    "IIF",     "INLIST", "INT",    "LEFT",
    "LEN",     "LOG",     "LOG10",   "LOWER",   "LTRIM", "MAX",     "MIN",    "MOD",    "PADC",
    "PADL",    "PADR",    "PI",      "PV",      "PROPER", "RIGHT",  "RTRIM",  "RTOD",   "SIN",
    "SOUNDEX", "SPACE",   "STR",     "STRTRAN", "STRZERO", "SUBSTR", "TAN",   "TRIM",   "UPPER",
    "VAL",
};
}  // namespace

std::span<const std::string_view> BuiltinFunctionNames() { return kOrder; }

void AddBuiltinFunctions(FunctionReg& registry) {
  FunctionList all;
  AddMathFunctions(all);
  AddStringFunctions(all);
  AddPadFunctions(all);
  AddConversionFunctions(all);
  AddDateFunctions(all);
  AddLogicFunctions(all);
  AddFinanceFunctions(all);
  for (std::string_view name : kOrder) {
    auto it = std::find_if(all.begin(), all.end(), [&](const auto& f) { return f && f->Name() == name; });
    if (it != all.end()) registry.AddFunction(std::move(*it));
  }
}

}  // namespace dbase
