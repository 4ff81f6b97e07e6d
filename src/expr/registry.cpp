// Registries and the process-wide instances.
#include "expr/registry.h"

#include "expr/builtin_library.h"

namespace dbase {

bool FunctionReg::AddFunction(std::unique_ptr<UserDefFunction> f) {
  if (!f) return false;
  std::string key = UpperName(f->Name());
  return entries_.try_emplace(std::move(key), std::move(f)).second;
}

UserDefFunction* FunctionReg::Find(std::string_view name) const {
  auto it = entries_.find(UpperName(name));
  return it == entries_.end() ? nullptr : it->second.get();
}

bool FieldVarReg::AddFieldVar(std::shared_ptr<UserDefFieldVar> v) {
  if (!v) return false;
  bool all = true;
  std::string_view names(v->Name());
  while (true) {
    size_t cut = names.find(';');
    std::string_view one = names.substr(0, cut);
    if (!one.empty() && !entries_.try_emplace(UpperName(one), v).second) all = false;
    if (cut == std::string_view::npos) break;
    names.remove_prefix(cut + 1);
  }
  return all;
}

UserDefFieldVar* FieldVarReg::Find(std::string_view name) const {
  auto it = entries_.find(UpperName(name));
  return it == entries_.end() ? nullptr : it->second.get();
}

namespace {
struct GlobalRegistries {
  FunctionReg functions;
  FieldVarReg variables;
  GlobalRegistries() {
    AddBuiltinFunctions(functions);
    AddSystemValues(variables);
  }
};

const GlobalRegistries& Globals() {
  static const GlobalRegistries registries;
  return registries;
}
}  // namespace

const FunctionReg& GlobalFunctions() { return Globals().functions; }
const FieldVarReg& GlobalFieldVars() { return Globals().variables; }

}  // namespace dbase
