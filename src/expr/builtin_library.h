// The built-in function library and the system values, as registered in the process-wide
// registries.
#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "expr/registry.h"

namespace dbase {

// Registers the 55 built-in functions in their registration order.
void AddBuiltinFunctions(FunctionReg& registry);
// Registers TRUE, FALSE and PI.
void AddSystemValues(FieldVarReg& registry);

// The built-in function names in registration order.
std::span<const std::string_view> BuiltinFunctionNames();

// The functions of each group, in any order (builtin_library.cpp orders them).
using FunctionList = std::vector<std::unique_ptr<UserDefFunction>>;
void AddMathFunctions(FunctionList& out);
void AddStringFunctions(FunctionList& out);
void AddPadFunctions(FunctionList& out);
void AddConversionFunctions(FunctionList& out);
void AddDateFunctions(FunctionList& out);
void AddLogicFunctions(FunctionList& out);
void AddFinanceFunctions(FunctionList& out);

}  // namespace dbase
