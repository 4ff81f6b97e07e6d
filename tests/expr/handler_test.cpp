// ExpHandler: results as engine values, registries, and hostile input (deep nesting, long
// chains, huge literals) ending in ExpressionError.
#include <gtest/gtest.h>

#include <string>

#include "dbf/value.h"
#include "expr/limits.h"
#include "expr/registry.h"
#include "expr_test_support.h"

namespace dbase::testing {
namespace {

std::string Repeat(std::string_view piece, size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(HandlerValueTest, ResultsBecomeEngineValues) {
  TestLink link;
  ExpHandler h(&link);
  Value v(256);
  h.SetExpression("NAME");
  h.EvaluateValue(v);
  EXPECT_EQ(h.ResultType(), ExpType::Text);
  EXPECT_EQ(v.kind(), ValueKind::Text);
  EXPECT_EQ(v.bytes(), "ABC       ");  // a text field keeps its trailing blanks
  h.SetExpression("QTY / 8");
  h.EvaluateValue(v);
  EXPECT_EQ(v.kind(), ValueKind::Number);
  EXPECT_EQ(v.AsNumber(), 1.5);
  h.SetExpression("WHEN + 0.75");  // a Number: the date is on the left
  h.EvaluateValue(v);
  EXPECT_EQ(v.kind(), ValueKind::Number);
  h.SetExpression("0.75 + WHEN");
  h.EvaluateValue(v);
  EXPECT_EQ(v.kind(), ValueKind::Date);
  EXPECT_EQ(v.AsDate(), 2451545);  // truncated
  h.SetExpression("CTOD('')");
  h.EvaluateValue(v);
  EXPECT_EQ(v.kind(), ValueKind::Date);
  EXPECT_EQ(v.AsDate(), 0);
  h.SetExpression("FLAG");
  h.EvaluateValue(v);
  EXPECT_EQ(v.kind(), ValueKind::Logical);
  EXPECT_TRUE(v.AsLogical());
}

TEST(HandlerValueTest, NoValueLeavesTheValueAlone) {
  TestLink link;
  ExpHandler h(&link, false, "()");
  Value v;
  v.SetNumber(4);
  h.EvaluateValue(v);
  EXPECT_EQ(h.ResultType(), ExpType::Unknown);
  EXPECT_EQ(v.AsNumber(), 4);
  h.SetExpression("");
  h.EvaluateValue(v);
  EXPECT_EQ(v.kind(), ValueKind::Text);
  EXPECT_EQ(v.length(), 0);
  EXPECT_EQ(h.ResultType(), ExpType::Unknown);
}

TEST(HandlerValueTest, EvaluatesPerRecord) {
  TestLink link;
  ExpHandler h(&link, false, "UPPER(TRIM(NAME)) + STR(QTY, 3)");
  for (int i = 0; i < 3; ++i) {
    link.qty->value.SetNumber(i);
    link.name->value.SetText(std::string(1, static_cast<char>('a' + i)) + "  ");
    Variant v;
    h.EvaluateVariant(v);
    EXPECT_EQ(v.text(), std::string(1, static_cast<char>('A' + i)) + "  " + std::to_string(i));
  }
}

TEST(RegistryTest, DuplicatesAreRefused) {
  FieldVarReg reg;
  auto a = std::make_shared<TestVar>("A;ALIAS.A");
  auto b = std::make_shared<TestVar>("b;X.B;alias.a");
  EXPECT_TRUE(reg.AddFieldVar(a));
  EXPECT_FALSE(reg.AddFieldVar(b));  // ALIAS.A is taken; B and X.B still join
  EXPECT_EQ(reg.size(), 4u);
  EXPECT_EQ(reg.Find("alias.a"), a.get());
  EXPECT_EQ(reg.Find("X.B"), b.get());
  EXPECT_EQ(b->FirstName(), "B");
  EXPECT_EQ(b->Name(), "B;X.B;ALIAS.A");
  std::weak_ptr<TestVar> watch = b;
  a.reset();
  b.reset();
  EXPECT_FALSE(watch.expired());  // the registry keeps its variables alive
}

TEST(HostileInputTest, DeepParenthesesEndInAnError) {
  TestLink link;
  std::string deep = Repeat("(", 10000) + "1" + Repeat(")", 10000);
  EXPECT_EQ(ErrorOf(deep, &link), "Expression cannot be evaluated");
  std::string unbalanced = Repeat("(", 10000) + "1";
  EXPECT_EQ(ErrorOf(unbalanced, &link), "Expression cannot be evaluated");  // refused before balancing
  EXPECT_EQ(ErrorOf(Repeat("(", 50) + "1", &link), "Missing closing parentheses");
  std::string calls = Repeat("ABS(", 10000) + "1" + Repeat(")", 10000);
  EXPECT_EQ(ErrorOf(calls, &link), "Expression cannot be evaluated");
  std::string nots = Repeat(".T. .AND. .NOT. ", 5000) + ".T.";
  EXPECT_EQ(ErrorOf(nots, &link), "Expression cannot be evaluated");
  // Within the limits all is well.
  std::string fine = Repeat("(", kMaxNesting - 1) + "7" + Repeat(")", kMaxNesting - 1);
  EXPECT_EQ(Eval(fine, &link).value.number(), 7);
}

TEST(HostileInputTest, LongChainsAreBounded) {
  TestLink link;
  std::string chain = "1" + Repeat(" + 1", 20000);
  EXPECT_EQ(ErrorOf(chain, &link), "Expression cannot be evaluated");
  std::string fine = "1" + Repeat("+1", kMaxTreeHeight - 2);
  EXPECT_EQ(Eval(fine, &link).value.number(), kMaxTreeHeight - 1);
}

TEST(HostileInputTest, HugeLiteralsCompile) {
  TestLink link;
  std::string big(1 << 20, 'x');
  Result r = Eval("'" + big + "' + 'y'", &link);
  EXPECT_EQ(r.value.text().size(), big.size() + 1);
  EXPECT_EQ(ErrorOf("'" + big, &link), "Missing closing \"'\" on literal");
  std::string digits = "1." + std::string(1 << 20, '5');
  ExpHandler h(&link, false, digits);
  EXPECT_EQ(h.max_decimals(), 1 << 20);
  EXPECT_EQ(h.ExpressionText().size(), digits.size());
  std::string garbage(1 << 20, '@');
  EXPECT_EQ(ErrorOf(garbage, &link).substr(0, 30), "Syntax Error in expression \"@@");
}

}  // namespace
}  // namespace dbase::testing
