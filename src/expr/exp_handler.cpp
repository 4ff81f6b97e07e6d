// ExpHandler: compilation entry points, evaluation and the views of the tree.
#include "expr/exp_handler.h"

#include <cmath>
#include <cstdint>

#include "dbf/errors.h"
#include "dbf/value.h"
#include "expr/date_value.h"
#include "expr/limits.h"
#include "expr/registry.h"
#include "expr/scan.h"
#include "expr/text_budget.h"
#include "expr/text_compare.h"
#include "expr/tokenizer.h"
#include "expr/tree_builder.h"
#include "expr/user_link.h"

namespace dbase {

namespace {
// The Julian day of a date result: truncated, 0 for the empty date.
int32_t DateKey(double date) {
  if (IsEmptyDate(date)) return 0;
  double day = std::trunc(date);
  if (day > INT32_MAX) throw ExpressionError::Make(kExpValueInvalid, "Date");
  return static_cast<int32_t>(day);
}
}  // namespace

ExpHandler::ExpHandler(ExpUserLink* link, bool sql_style, std::string_view text) : link_(link) {
  if (sql_style) {
    settings_.wild_many = '%';
    settings_.wild_one = '_';
  }
  if (!text.empty()) SetExpression(text);
}

ExpHandler::~ExpHandler() = default;

void ExpHandler::SetExpression(std::string_view text) {
  root_.reset();
  max_length_ = max_decimals_ = operand_count_ = 0;
  result_type_ = ExpType::Unknown;
  if (TrimTrailing(TrimLeading(text)).empty()) return;
  whole_text_.assign(text.data(), text.size());
  depth_ = 0;
  try {
    // Deep parenthesis nesting is refused before any recursion starts.
    if (MaxParenDepth(text) > kMaxNesting) throw ExpressionError::Make(kExpCannotEvaluate);
    root_ = CompileNested(text);
  } catch (...) {
    max_length_ = max_decimals_ = operand_count_ = 0;
    whole_text_.clear();
    throw;
  }
  whole_text_.clear();
}

NodePtr ExpHandler::CompileNested(std::string_view text) {
  struct DepthGuard {
    int& depth;
    explicit DepthGuard(int& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
  } guard(depth_);
  if (depth_ > kMaxNesting) throw ExpressionError::Make(kExpCannotEvaluate);
  VariableLookup lookup = [this](std::string_view name) { return IsVariable(name); };
  std::vector<Token> tokens = Tokenize(text, lookup, whole_text_);
  return TreeBuilder(*this).Build(tokens);
}

bool ExpHandler::IsVariable(std::string_view upper_name) const {
  if (GlobalFieldVars().Find(upper_name) != nullptr) return true;
  return link_ != nullptr && link_->FindFieldVar(upper_name) != nullptr;
}

void ExpHandler::EvaluateVariant(Variant& out) {
  if (!root_) {
    result_type_ = ExpType::Unknown;
    return;
  }
  ExpType type = ExpType::Unknown;
  TextBudget::Evaluation evaluation;
  root_->Evaluate(out, type);
  result_type_ = type;
}

void ExpHandler::EvaluateValue(Value& value) {
  if (!root_) {
    value.SetText("");
    result_type_ = ExpType::Unknown;
    return;
  }
  scratch_.SetNull();
  EvaluateVariant(scratch_);
  switch (result_type_) {
    case ExpType::Text:
      if (!scratch_.is_null()) value.SetText(scratch_.text());
      scratch_.Release();
      return;
    case ExpType::Number:
    case ExpType::DateTime:
      if (!scratch_.is_null()) value.SetNumber(scratch_.number());
      return;
    case ExpType::Date:
      if (!scratch_.is_null()) value.SetDate(DateKey(scratch_.number()));
      return;
    case ExpType::Boolean:
      if (!scratch_.is_null()) value.SetLogical(scratch_.boolean());
      return;
    default:
      result_type_ = ExpType::Unknown;
      return;
  }
}

std::string ExpHandler::ExpressionText() const {
  std::string text;
  if (root_) root_->Text(text);
  return text;
}

std::string ExpHandler::FieldNamesFor(int owner) const {
  std::string names;
  if (root_) root_->NamesFor(owner, names);
  return names;
}

}  // namespace dbase
