// ExpOperator: binding and evaluation of the binary operators and the .NOT. prefix.
#include <cmath>
#include <cstdint>

#include "dbf/errors.h"
#include "expr/limits.h"
#include "expr/nodes.h"
#include "expr/text_compare.h"

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
}

void ExpOperator::Evaluate(Variant& out, ExpType& type) {
  const OpCode op = info_->code;
  if (!right_ || (!left_ && op != OpCode::Not)) TargetMissing(info_->display);
  ExpType right_type = ExpType::Unknown;
  right_->Evaluate(right_value_, right_type);
  ExpType left_type = right_type;
  if (op != OpCode::Not) left_->Evaluate(out, left_type);
  result_type_ = right_type;
  if (left_type != right_type && !(IsNumericFamily(left_type) && IsNumericFamily(right_type))) SidesMismatch();

  if (right_type == ExpType::Boolean) {
    bool left = op == OpCode::Not ? false : out.boolean();
    EvaluateBoolean(left, right_value_.boolean(), out);
  } else if (IsNumericFamily(right_type)) {
    EvaluateNumeric(out.number(), right_value_.number(), out);
  } else if (right_type == ExpType::Text) {
    EvaluateText(out, right_value_);
  } else {
    out.SetNull();
  }
  if (gives_boolean_) result_type_ = ExpType::Boolean;
  type = result_type_;
  right_value_.Release();  // a long right-hand text is done with
}

void ExpOperator::EvaluateBoolean(bool left, bool right, Variant& out) const {
  switch (info_->code) {
    case OpCode::Equal:
      out.SetBoolean(left == right);
      return;
    case OpCode::NotEqual:
      out.SetBoolean(left != right);
      return;
    case OpCode::And:
      out.SetBoolean(left && right);
      return;
    case OpCode::Or:
      out.SetBoolean(left || right);
      return;
    case OpCode::Not:
      out.SetBoolean(!right);
      return;
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

void ExpOperator::EvaluateNumeric(double left, double right, Variant& out) const {
  switch (info_->code) {
    case OpCode::Equal:
      out.SetBoolean(left - right == 0);
      return;
    case OpCode::NotEqual:
      out.SetBoolean(left - right != 0);
      return;
    case OpCode::Greater:
      out.SetBoolean(left - right > 0);
      return;
    case OpCode::Less:
      out.SetBoolean(left - right < 0);
      return;
    case OpCode::GreaterEqual:
      out.SetBoolean(!(left - right < 0));
      return;
    case OpCode::LessEqual:
      out.SetBoolean(!(left - right > 0));
      return;
    case OpCode::Plus:
      out.SetNumber(left + right);
      return;
    case OpCode::Minus:
      out.SetNumber(left - right);
      return;
    case OpCode::Times:
      out.SetNumber(left * right);
      return;
    case OpCode::Divide:
      if (right == 0) DivisionByZero();
      out.SetNumber(left / right);
      return;
    case OpCode::Power:
      out.SetNumber(RepeatedProduct(left, std::trunc(right)));
      return;
    default:
      Invalid("assigned");
  }
}

void ExpOperator::EvaluateText(Variant& left_and_out, const Variant& right_value) const {
  const OpCode op = info_->code;
  if (IsOrderingComparison(op)) {
    int c = CompareTexts(left_and_out.text(), right_value.text(), settings_);
    bool result = false;
    switch (op) {
      case OpCode::Equal: result = c == 0; break;
      case OpCode::NotEqual: result = c != 0; break;
      case OpCode::Greater: result = c > 0; break;
      case OpCode::Less: result = c < 0; break;
      case OpCode::GreaterEqual: result = c >= 0; break;
      default: result = c <= 0; break;
    }
    left_and_out.SetBoolean(result);
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
