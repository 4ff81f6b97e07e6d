// ExpOperator: binding and evaluation of the binary operators and the .NOT. prefix.
#include <cmath>
#include <cstdint>

#include "dbf/errors.h"
#include "expr/limits.h"
#include "expr/nodes.h"
#include "expr/text_compare.h"
#include "expr/user_def.h"

namespace dbase {

namespace {

// The raising paths are kept out of line so that the evaluation paths stay small.
[[noreturn, gnu::cold, gnu::noinline]] void Invalid(const char* what) {
  throw ExpressionError::Make(kExpValueInvalid, what);
}

[[noreturn, gnu::cold, gnu::noinline]] void TargetMissing(std::string_view display) {
  throw ExpressionError::Make(kExpTargetMissing, display);
}

[[noreturn, gnu::cold, gnu::noinline]] void SidesMismatch() { throw ExpressionError::Make(kExpSidesMismatch); }

[[noreturn, gnu::cold, gnu::noinline]] void DivisionByZero() { throw ExpressionError::Make(kExpDivisionByZero); }

// A result beyond the range of numbers (or none at all) is an error, not "inf" or "nan".
double Finite(double value, std::string_view display) {
  if (!std::isfinite(value)) [[unlikely]] {
    throw ExpressionError::Make(kNumericOverflow, display);
  }
  return value;
}

// left ^ n as repeated multiplication of left by itself, n - 1 times. Long runs switch to
// squaring: past a few hundred factors every finite base has reached 0, 1 or infinity anyway.
double RepeatedProduct(double left, double exponent) {
  if (!(exponent >= 2)) return left;  // also NaN
  if (exponent > 1e18) exponent = 1e18;
  auto n = static_cast<int64_t>(exponent);
  if (n <= 1024) {
    double result = left;
    for (int64_t i = 1; i < n; ++i) result *= left;
    return result;
  }
  double result = 1, base = left;
  while (n > 0) {
    if (n & 1) result *= base;
    base *= base;
    n >>= 1;
  }
  return result;
}

}  // namespace

ExpOperator::ExpOperator(const OperatorInfo& info, const OperatorSettings& settings)
    : ExpBaseObject(NodeKind::Operator, ExpType::Unknown),
      info_(&info),
      settings_(settings),
      gives_boolean_(GivesBoolean(info.code)) {}

std::string ExpOperator::Name() const { return std::string(info_->display); }

void ExpOperator::Bind(NodePtr left, NodePtr right) {
  SetOperands(std::move(left), std::move(right));
  set_kind(NodeKind::BoundOperator);
  left_operand_ = Resolve(left_.get());
  right_operand_ = Resolve(right_.get());
  ChooseFastPath();
}

ExpOperator::Operand ExpOperator::Resolve(ExpBaseObject* node) {
  while (node != nullptr && node->kind() == NodeKind::Container && node->right() != nullptr) node = node->right();
  Operand operand;
  operand.node = node;
  if (node == nullptr) return operand;
  switch (node->kind()) {
    case NodeKind::NumLit:
    case NodeKind::DateLit:
    case NodeKind::BoolLit: {
      Variant unused;
      operand.type = node->EvaluateOperand(unused, operand.number, operand.flag);
      operand.kind = Operand::Kind::Constant;
      break;
    }
    case NodeKind::Function:
      operand.call = static_cast<ExpFunction*>(node);
      operand.function = &operand.call->function();
      operand.kind = Operand::Kind::Function;
      break;
    case NodeKind::FieldVar:
      operand.variable = &static_cast<ExpFieldvar*>(node)->variable();
      operand.kind = Operand::Kind::Variable;
      break;
    case NodeKind::BoundOperator: {
      operand.kind = Operand::Kind::Operator;
      auto* op = static_cast<ExpOperator*>(node);
      const bool not_of_leaf = op->opcode() == OpCode::Not && op->right_operand_.kind != Operand::Kind::Node &&
                               (op->right_operand_.function != nullptr || op->right_operand_.variable != nullptr);
      const Operand& left = op->left_operand_;
      const Operand& right = op->right_operand_;
      const bool compare_of_leaf = IsOrderingComparison(op->opcode()) && right.kind == Operand::Kind::Constant &&
                                   IsNumericFamily(right.type) &&
                                   (left.kind == Operand::Kind::Function || left.kind == Operand::Kind::Variable);
      if (not_of_leaf) {
        operand = right;
        operand.kind = Operand::Kind::NotOf;
      } else if (compare_of_leaf) {
        operand = left;
        operand.kind = Operand::Kind::CompareOf;
      }
      operand.node = node;
      operand.owner = op;
      break;
    }
    default:
      break;
  }
  return operand;
}

inline ExpType ExpOperator::FetchLeaf(const Operand& operand, Variant& out, double& number, bool& flag) {
  ExpType type = ExpType::Unknown;
  if (operand.function == nullptr) return operand.variable->EvaluateOperand(out, number, flag);
  operand.function->Evaluate(*operand.call, out, type);
  if (IsNumericFamily(type)) {
    number = out.number();
  } else if (type == ExpType::Boolean) {
    flag = out.boolean();
  }
  return type;
}

inline ExpType ExpOperator::Fetch(const Operand& operand, Variant& out, double& number, bool& flag) {
  switch (operand.kind) {
    case Operand::Kind::Constant:
      number = operand.number;
      flag = operand.flag;
      return operand.type;
    case Operand::Kind::Function:
    case Operand::Kind::Variable:
      return FetchLeaf(operand, out, number, flag);
    case Operand::Kind::NotOf: {
      double leaf_number = 0;
      bool leaf_flag = false;
      const ExpType type = FetchLeaf(operand, operand.owner->right_value_, leaf_number, leaf_flag);
      return operand.owner->FinishNot(out, number, flag, type, leaf_number, leaf_flag);
    }
    case Operand::Kind::CompareOf: {
      double leaf_number = 0;
      bool leaf_flag = false;
      const ExpType type = FetchLeaf(operand, out, leaf_number, leaf_flag);
      return operand.owner->FinishCompare(out, number, flag, type, leaf_number, leaf_flag);
    }
    case Operand::Kind::Operator:
      return static_cast<ExpOperator*>(operand.node)->EvaluateOperand(out, number, flag);
    case Operand::Kind::Node:
      break;
  }
  return operand.node->EvaluateOperand(out, number, flag);
}

void ExpOperator::Evaluate(Variant& out, ExpType& type) {
  double number = 0;
  bool flag = false;
  type = EvaluateOperand(out, number, flag);
  if (null_result_) {
    out.SetNull();
  } else if (IsNumericFamily(type)) {
    out.SetNumber(number);
  } else if (type == ExpType::Boolean) {
    out.SetBoolean(flag);
  }
}

// Operands pass numbers and logicals to the operator without going through a Variant; only texts
// (and values of other types) do.
ExpType ExpOperator::EvaluateOperand(Variant& out, double& number, bool& flag) {
  if (fast_ != nullptr) return fast_(*this, out, number, flag);
  return EvaluateGeneric(out, number, flag);
}

ExpType ExpOperator::EvaluateGeneric(Variant& out, double& number, bool& flag) {
  const OpCode op = info_->code;
  if (!right_ || (!left_ && op != OpCode::Not)) TargetMissing(info_->display);
  double right_number = 0;
  bool right_flag = false;
  const ExpType right_type = Fetch(right_operand_, right_value_, right_number, right_flag);
  double left_number = 0;
  bool left_flag = false;
  ExpType left_type = right_type;
  if (op != OpCode::Not) left_type = Fetch(left_operand_, out, left_number, left_flag);
  return Combine(out, number, flag, right_type, right_number, right_flag, left_type, left_number, left_flag);
}

ExpType ExpOperator::Combine(Variant& out, double& number, bool& flag, ExpType right_type, double right_number,
                             bool right_flag, ExpType left_type, double left_number, bool left_flag) {
  result_type_ = right_type;
  if (left_type != right_type && !(IsNumericFamily(left_type) && IsNumericFamily(right_type))) SidesMismatch();

  null_result_ = false;
  if (right_type == ExpType::Boolean) {
    flag = EvaluateBoolean(left_flag, right_flag);
  } else if (IsNumericFamily(right_type)) {
    if (gives_boolean_) {
      flag = CompareNumbers(left_number, right_number);
    } else {
      number = EvaluateArithmetic(left_number, right_number);
    }
  } else if (right_type == ExpType::Text) {
    EvaluateText(out, right_value_);
    flag = out.boolean();
    right_value_.Release();  // a long right-hand text is done with
  } else {
    out.SetNull();
    null_result_ = true;
  }
  if (gives_boolean_) result_type_ = ExpType::Boolean;
  return result_type_;
}

template <OpCode kOp>
ExpType ExpOperator::LogicalPath(ExpOperator& self, Variant& out, double& number, bool& flag) {
  double right_number = 0;
  bool right_flag = false;
  const ExpType right_type = Fetch(self.right_operand_, self.right_value_, right_number, right_flag);
  double left_number = 0;
  bool left_flag = false;
  const ExpType left_type = Fetch(self.left_operand_, out, left_number, left_flag);
  if (right_type != ExpType::Boolean || left_type != ExpType::Boolean) [[unlikely]] {
    return self.Combine(out, number, flag, right_type, right_number, right_flag, left_type, left_number, left_flag);
  }
  flag = kOp == OpCode::And ? (left_flag && right_flag) : (left_flag || right_flag);
  self.null_result_ = false;
  self.result_type_ = ExpType::Boolean;
  return ExpType::Boolean;
}

ExpType ExpOperator::NotPath(ExpOperator& self, Variant& out, double& number, bool& flag) {
  double right_number = 0;
  bool right_flag = false;
  const ExpType right_type = Fetch(self.right_operand_, self.right_value_, right_number, right_flag);
  return self.FinishNot(out, number, flag, right_type, right_number, right_flag);
}

ExpType ExpOperator::CompareConstantPath(ExpOperator& self, Variant& out, double& number, bool& flag) {
  double left_number = 0;
  bool left_flag = false;
  const ExpType left_type = Fetch(self.left_operand_, out, left_number, left_flag);
  return self.FinishCompare(out, number, flag, left_type, left_number, left_flag);
}

ExpType ExpOperator::FinishNot(Variant& out, double& number, bool& flag, ExpType type, double operand_number,
                               bool operand_flag) {
  if (type != ExpType::Boolean) [[unlikely]] {
    return Combine(out, number, flag, type, operand_number, operand_flag, type, 0, false);
  }
  flag = !operand_flag;
  null_result_ = false;
  result_type_ = ExpType::Boolean;
  return ExpType::Boolean;
}

ExpType ExpOperator::FinishCompare(Variant& out, double& number, bool& flag, ExpType type, double left_number,
                                   bool left_flag) {
  const Operand& right = right_operand_;
  if (!IsNumericFamily(type)) [[unlikely]] {
    return Combine(out, number, flag, right.type, right.number, right.flag, type, left_number, left_flag);
  }
  flag = CompareNumbers(left_number, right.number);
  null_result_ = false;
  result_type_ = ExpType::Boolean;
  return ExpType::Boolean;
}

ExpType ExpOperator::CompareTextPath(ExpOperator& self, Variant& out, double& number, bool& flag) {
  const std::string& right = static_cast<ExpTextLit*>(self.right_operand_.node)->text();
  std::string_view left;
  const Operand& operand = self.left_operand_;
  if (operand.kind != Operand::Kind::Variable || !operand.variable->PeekText(left)) {
    double left_number = 0;
    bool left_flag = false;
    const ExpType left_type = Fetch(operand, out, left_number, left_flag);
    if (left_type != ExpType::Text) [[unlikely]] {
      self.right_value_.SetText(right);
      return self.Combine(out, number, flag, ExpType::Text, 0, false, left_type, left_number, left_flag);
    }
    left = out.text();
  }
  flag = self.TextOrder(CompareTexts(left, right, self.settings_));
  self.null_result_ = false;
  self.result_type_ = ExpType::Boolean;
  return ExpType::Boolean;
}

void ExpOperator::ChooseFastPath() {
  fast_ = nullptr;
  if (!right_ || (!left_ && info_->code != OpCode::Not)) return;
  const bool number_on_right = right_operand_.kind == Operand::Kind::Constant && IsNumericFamily(right_operand_.type);
  const bool text_on_right = right_operand_.node != nullptr && right_operand_.node->kind() == NodeKind::TextLit;
  switch (info_->code) {
    case OpCode::And: fast_ = &LogicalPath<OpCode::And>; break;
    case OpCode::Or: fast_ = &LogicalPath<OpCode::Or>; break;
    case OpCode::Not: fast_ = &NotPath; break;
    case OpCode::Equal:
    case OpCode::NotEqual:
    case OpCode::Greater:
    case OpCode::Less:
    case OpCode::GreaterEqual:
    case OpCode::LessEqual:
      if (number_on_right) fast_ = &CompareConstantPath;
      if (text_on_right) fast_ = &CompareTextPath;
      break;
    default: break;
  }
}

bool ExpOperator::EvaluateBoolean(bool left, bool right) const {
  switch (info_->code) {
    case OpCode::Equal:
      return left == right;
    case OpCode::NotEqual:
      return left != right;
    case OpCode::And:
      return left && right;
    case OpCode::Or:
      return left || right;
    case OpCode::Not:
      return !right;
    case OpCode::Plus:
    case OpCode::Minus:
    case OpCode::Times:
    case OpCode::Divide:
    case OpCode::Power:
      Invalid("number");
    default:
      Invalid("assigned");
  }
}

// The comparisons work on the difference of the two values.
bool ExpOperator::CompareNumbers(double left, double right) const {
  switch (info_->code) {
    case OpCode::Equal:
      return left - right == 0;
    case OpCode::NotEqual:
      return left - right != 0;
    case OpCode::Greater:
      return left - right > 0;
    case OpCode::Less:
      return left - right < 0;
    case OpCode::GreaterEqual:
      return !(left - right < 0);
    case OpCode::LessEqual:
      return !(left - right > 0);
    default:
      Invalid("assigned");
  }
}

double ExpOperator::EvaluateArithmetic(double left, double right) const {
  switch (info_->code) {
    case OpCode::Plus:
      return Finite(left + right, info_->display);
    case OpCode::Minus:
      return Finite(left - right, info_->display);
    case OpCode::Times:
      return Finite(left * right, info_->display);
    case OpCode::Divide:
      if (right == 0) DivisionByZero();
      return Finite(left / right, info_->display);
    case OpCode::Power:
      return Finite(RepeatedProduct(left, std::trunc(right)), info_->display);
    default:
      Invalid("assigned");
  }
}

bool ExpOperator::TextOrder(int c) const {
  switch (info_->code) {
    case OpCode::Equal: return c == 0;
    case OpCode::NotEqual: return c != 0;
    case OpCode::Greater: return c > 0;
    case OpCode::Less: return c < 0;
    case OpCode::GreaterEqual: return c >= 0;
    default: return c <= 0;
  }
}

void ExpOperator::EvaluateText(Variant& left_and_out, const Variant& right_value) const {
  const OpCode op = info_->code;
  if (IsOrderingComparison(op)) {
    left_and_out.SetBoolean(TextOrder(CompareTexts(left_and_out.text(), right_value.text(), settings_)));
    return;
  }
  std::string_view right = right_value.text();
  switch (op) {
    case OpCode::InString: {
      std::string_view left = left_and_out.text();
      left_and_out.SetBoolean(!left.empty() && right.find(left) != std::string_view::npos);
      return;
    }
    case OpCode::Plus: {
      ExprText& text = left_and_out.MutableText();
      CheckTextLength(text.size() + right.size(), "+");
      text.append(right.data(), right.size());
      return;
    }
    case OpCode::Minus: {
      // The left side's trailing blanks move to the end of the result.
      ExprText& text = left_and_out.MutableText();
      size_t total = text.size() + right.size();
      CheckTextLength(total, "-");
      size_t keep = text.find_last_not_of(' ');
      text.resize(keep == std::string::npos ? 0 : keep + 1);
      text.append(right.data(), right.size());
      text.resize(total, ' ');
      return;
    }
    case OpCode::Times:
    case OpCode::Divide:
    case OpCode::Power:
      Invalid("number");
    default:
      Invalid("assigned");
  }
}

}  // namespace dbase
