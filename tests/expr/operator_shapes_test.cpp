// The shapes filters are made of (.AND., .OR., .NOT., comparisons with a number) over operands of
// every type, against a model of the operator rules written from them: right operand first, sides
// of different types (outside the numeric family) refused, logicals combined, numbers compared
// through their difference, the messages for values of the wrong type, and no value for operands
// of other types. Operands are field variables, functions, literals and groups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expr_test_support.h"

namespace dbase::testing {
namespace {

struct Outcome {
  std::string error;  // the message, or "" for a value
  ExpType type = ExpType::Unknown;
  bool has_value = true;
  double number = 0;
  bool flag = false;
};

bool operator==(const Outcome& a, const Outcome& b) {
  if (a.error != b.error) return false;
  if (!a.error.empty()) return true;
  if (a.type != b.type || a.has_value != b.has_value) return false;
  if (!a.has_value) return true;
  if (a.type == ExpType::Boolean) return a.flag == b.flag;
  return !IsNumericFamily(a.type) || a.number == b.number;
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  if (!o.error.empty()) return out << "error '" << o.error << "'";
  out << ExpTypeName(o.type) << " ";
  if (!o.has_value) return out << "(no value)";
  return o.type == ExpType::Boolean ? out << (o.flag ? ".T." : ".F.") : out << o.number;
}

const std::string kMismatch = "The two sides of an operation do not match";
const std::string kAssigned = "A assigned value is required but invalid";

Outcome Fail(const std::string& message) {
  Outcome o;
  o.error = message;
  return o;
}

Outcome Logical(bool flag) {
  Outcome o;
  o.type = ExpType::Boolean;
  o.flag = flag;
  return o;
}

// op is "AND", "OR", "NOT" or a comparison; `left` is unused for NOT.
Outcome Model(const std::string& op, const Outcome& left, const Outcome& right) {
  if (!right.error.empty()) return right;
  if (op != "NOT" && !left.error.empty()) return left;
  const ExpType r = right.type;
  const ExpType l = op == "NOT" ? r : left.type;
  if (l != r && !(IsNumericFamily(l) && IsNumericFamily(r))) return Fail(kMismatch);
  const bool logical = op == "AND" || op == "OR" || op == "NOT";
  if (r == ExpType::Boolean) {
    if (op == "NOT") return Logical(!right.flag);
    if (op == "AND") return Logical(left.flag && right.flag);
    if (op == "OR") return Logical(left.flag || right.flag);
    if (op == "=") return Logical(left.flag == right.flag);
    if (op == "#") return Logical(left.flag != right.flag);
    return Fail(kAssigned);
  }
  if (IsNumericFamily(r)) {
    if (logical) return Fail(kAssigned);
    const double d = left.number - right.number;
    if (op == "=") return Logical(d == 0);
    if (op == "#") return Logical(d != 0);
    if (op == ">") return Logical(d > 0);
    if (op == "<") return Logical(d < 0);
    if (op == ">=") return Logical(!(d < 0));
    return Logical(!(d > 0));
  }
  if (r == ExpType::Text) {
    if (logical) return Fail(kAssigned);
    return Fail("text comparison: not modelled");
  }
  Outcome none;  // operands of another type give no value; the operator's type stays logical
  none.type = ExpType::Boolean;
  none.has_value = false;
  return none;
}

class OperatorShapesTest : public ExpressionTest {
 protected:
  void SetUp() override {
    link_.Add("NOTE;T.NOTE", 10, ExpType::Memo, Variant::FromText("memo text"));
    link_.Add("NOTHING;T.NOTHING", 0, ExpType::Empty, Variant());
  }

  Outcome Run(const std::string& text) {
    Outcome o;
    try {
      const Result r = E(text);
      o.type = r.type;
      o.has_value = !r.value.is_null();
      o.number = r.value.number();
      o.flag = r.value.boolean();
    } catch (const ExpressionError& e) {
      o.error = e.what();
    }
    return o;
  }
};

TEST_F(OperatorShapesTest, FilterShapesFollowTheOperatorRulesForEveryOperandType) {
  // Leaves of every type: field variables, functions, literals, groups.
  const std::vector<std::string> leaves = {
      "FLAG", "QTY", "WHEN", "NAME", "NOTE", "NOTHING", "EMPTY(NAME)", "LEN(NAME)", "UPPER(NAME)",
      "CTOD('01/01/2000')", "IIF(FLAG, QTY, NAME)", ".F.", "7", "{02/01/2000}", "(QTY)", "(.T.)", "()"};
  std::vector<std::pair<std::string, Outcome>> operands;
  for (const std::string& leaf : leaves) operands.emplace_back(leaf, Run(leaf));
  const std::vector<std::string> comparisons = {"=", "#", ">", "<", ">=", "<="};
  // Composite operands built from the leaves: a negation and a comparison with a number.
  for (const std::string& leaf : leaves) {
    operands.emplace_back("(.NOT. " + leaf + ")", Model("NOT", Outcome(), Run(leaf)));
    Outcome seven;
    seven.type = ExpType::Number;
    seven.number = 7;
    operands.emplace_back("(" + leaf + " > 7)", Model(">", Run(leaf), seven));
  }
  int checked = 0;
  for (const auto& [text, value] : operands) {
    const std::string negated = ".NOT. " + text;
    EXPECT_EQ(Run(negated), Model("NOT", Outcome(), value)) << negated;
    for (const std::string& cmp : comparisons) {
      for (const char* number : {"7", "12", "2451546"}) {
        Outcome right;
        right.type = ExpType::Number;
        right.number = std::stod(number);
        const std::string expression = text + " " + cmp + " " + number;
        const Outcome want = Model(cmp, value, right);
        if (want.error == "text comparison: not modelled") continue;
        EXPECT_EQ(Run(expression), want) << expression;
        ++checked;
      }
    }
    for (const auto& [other, other_value] : operands) {
      for (const char* op : {"AND", "OR"}) {
        const std::string expression = text + " ." + op + ". " + other;
        EXPECT_EQ(Run(expression), Model(op, value, other_value)) << expression;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 5000);
}

}  // namespace
}  // namespace dbase::testing
