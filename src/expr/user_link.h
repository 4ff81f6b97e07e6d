// ExpUserLink: what a table (or any other owner) adds to the names an expression can use:
// its own functions and field variables, and the default width of STR.
#pragma once

#include <memory>
#include <string_view>

#include "expr/registry.h"

namespace dbase {

class ExpUserLink {
 public:
  ExpUserLink() = default;
  ExpUserLink(const ExpUserLink&) = delete;
  ExpUserLink& operator=(const ExpUserLink&) = delete;
  virtual ~ExpUserLink() = default;

  virtual UserDefFunction* FindFunction(std::string_view name) { return functions_.Find(name); }
  virtual UserDefFieldVar* FindFieldVar(std::string_view name) { return variables_.Find(name); }
  // Called when no registry knows a function name. Base: raises "There is no function for %s";
  // a subclass may supply a function instead.
  virtual UserDefFunction* MissingFunction(std::string_view name);

  bool AddFunction(std::unique_ptr<UserDefFunction> f) { return functions_.AddFunction(std::move(f)); }
  bool AddFieldVar(std::shared_ptr<UserDefFieldVar> v) { return variables_.AddFieldVar(std::move(v)); }

  // Width STR uses when no width is given.
  int str_width() const { return str_width_; }
  void set_str_width(int width) { str_width_ = width; }

 private:
  FunctionReg functions_;
  FieldVarReg variables_;
  int str_width_ = 10;
};

}  // namespace dbase
