// Tree structure of the node classes: text rebuilding, field-name collection, groups,
// function calls and field variables.
#include "expr/nodes.h"

#include <algorithm>

#include "expr/user_def.h"

namespace dbase {

void ExpBaseObject::Text(std::string& out) const {
  if (left_) left_->Text(out);
  out += Name();
  if (right_) right_->Text(out);
}

void ExpBaseObject::NamesFor(int owner, std::string& out) const {
  if (left_) left_->NamesFor(owner, out);
  if (OwnerId() == owner) {
    out += ';';
    out += Name();
  }
  if (right_) right_->NamesFor(owner, out);
}

void ExpBaseObject::Evaluate(Variant& /*out*/, ExpType& type) {
  result_type_ = ExpType::Unknown;
  type = result_type_;
}

namespace {

// The numeric or logical part of a value just written to `out`, for EvaluateOperand.
ExpType SplitOperand(const Variant& out, ExpType type, double& number, bool& flag) {
  if (IsNumericFamily(type)) {
    number = out.number();
  } else if (type == ExpType::Boolean) {
    flag = out.boolean();
  }
  return type;
}

}  // namespace

ExpType ExpBaseObject::EvaluateOperand(Variant& out, double& number, bool& flag) {
  ExpType type = ExpType::Unknown;
  Evaluate(out, type);
  return SplitOperand(out, type, number, flag);
}

void ExpBaseObject::SetOperands(std::unique_ptr<ExpBaseObject> left, std::unique_ptr<ExpBaseObject> right) {
  left_ = std::move(left);
  right_ = std::move(right);
  int below = std::max(left_ ? left_->height() : 0, right_ ? right_->height() : 0);
  height_ = below + 1;
}

// --- ExpContainer

ExpContainer::ExpContainer(NodePtr inner) : ExpBaseObject(NodeKind::Container, ExpType::Unknown) {
  SetOperands(nullptr, std::move(inner));
}

void ExpContainer::Text(std::string& out) const {
  out += '(';
  if (right_) right_->Text(out);
  out += ')';
}

void ExpContainer::NamesFor(int owner, std::string& out) const {
  if (right_) right_->NamesFor(owner, out);
}

void ExpContainer::Evaluate(Variant& out, ExpType& type) {
  if (!right_) {
    result_type_ = ExpType::Empty;
    type = result_type_;
    return;
  }
  right_->Evaluate(out, type);
  result_type_ = type;
}

ExpType ExpContainer::EvaluateOperand(Variant& out, double& number, bool& flag) {
  result_type_ = right_ ? right_->EvaluateOperand(out, number, flag) : ExpType::Empty;
  return result_type_;
}

// --- ExpFunction

ExpFunction::ExpFunction(ExpHandler& handler, UserDefFunction& function, std::vector<NodePtr> arguments)
    : ExpBaseObject(NodeKind::Function, ExpType::Unknown),
      handler_(&handler),
      function_(&function),
      arguments_(std::move(arguments)) {
  int below = 0;
  for (const NodePtr& arg : arguments_) below = std::max(below, arg->height());
  set_height(below + 1);
}

std::string ExpFunction::Name() const { return std::string(function_->Name()); }

void ExpFunction::Text(std::string& out) const {
  out += function_->Name();
  out += '(';
  for (size_t i = 0; i < arguments_.size(); ++i) {
    if (i > 0) out += ',';
    arguments_[i]->Text(out);
  }
  out += ')';
}

void ExpFunction::NamesFor(int owner, std::string& out) const {
  for (const NodePtr& arg : arguments_) arg->NamesFor(owner, out);
}

void ExpFunction::Evaluate(Variant& out, ExpType& type) {
  function_->Evaluate(*this, out, type);
  result_type_ = type;
}

ExpType ExpFunction::EvaluateOperand(Variant& out, double& number, bool& flag) {
  ExpType type = ExpType::Unknown;
  function_->Evaluate(*this, out, type);
  result_type_ = type;
  return SplitOperand(out, type, number, flag);
}

// --- ExpFieldvar

ExpFieldvar::ExpFieldvar(UserDefFieldVar& variable)
    : ExpBaseObject(NodeKind::FieldVar, ExpType::Unknown), variable_(&variable) {
  length_ = variable.length();
}

std::string ExpFieldvar::Name() const { return std::string(variable_->FirstName()); }

int ExpFieldvar::OwnerId() const { return variable_->OwnerId(); }

void ExpFieldvar::Evaluate(Variant& out, ExpType& type) {
  variable_->Evaluate(out, type);
  result_type_ = type;
}

ExpType ExpFieldvar::EvaluateOperand(Variant& out, double& number, bool& flag) {
  ExpType type = ExpType::Unknown;
  variable_->Evaluate(out, type);
  result_type_ = type;
  return SplitOperand(out, type, number, flag);
}

}  // namespace dbase
