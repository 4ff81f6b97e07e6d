// Name registries of functions and field variables, sorted by upper-case name, refusing
// duplicates; and the process-wide pair that holds the built-in library and system values.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "expr/user_def.h"

namespace dbase {

class FunctionReg {
 public:
  // Registers `f` under its upper-cased Name. A name already present is refused (false; the
  // first registration stays and `f` is destroyed).
  bool AddFunction(std::unique_ptr<UserDefFunction> f);
  UserDefFunction* Find(std::string_view name) const;
  size_t size() const { return entries_.size(); }

 private:
  std::map<std::string, std::unique_ptr<UserDefFunction>, std::less<>> entries_;
};

class FieldVarReg {
 public:
  // Registers `v` under each of its names. A name already present is skipped and the result is
  // false; the other names are still registered. Each registered name shares ownership, so a
  // variable lives as long as any registry (or other owner) holds it.
  bool AddFieldVar(std::shared_ptr<UserDefFieldVar> v);
  UserDefFieldVar* Find(std::string_view name) const;
  size_t size() const { return entries_.size(); }

 private:
  std::map<std::string, std::shared_ptr<UserDefFieldVar>, std::less<>> entries_;
};

// The process-wide registries, created and filled with the built-in functions and the system
// values TRUE, FALSE and PI on first use; read-only afterwards.
const FunctionReg& GlobalFunctions();
const FieldVarReg& GlobalFieldVars();

}  // namespace dbase
