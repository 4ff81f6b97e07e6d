// Operator evaluation: types, arithmetic, text operators, comparisons and their messages.
#include <gtest/gtest.h>

#include <cmath>

#include "expr_test_support.h"

namespace dbase::testing {
namespace {

class OperatorTest : public ExpressionTest {};

TEST_F(OperatorTest, ArithmeticKeepsTheRightOperandsType) {
  Result r = E("{01/02/2000} + 1");
  EXPECT_EQ(r.type, ExpType::Number);
  EXPECT_EQ(r.value.number(), 2451577);  // 1 February 2000 is day 2451576
  r = E("1 + {01/02/2000}");
  EXPECT_EQ(r.type, ExpType::Date);
  r = E("WHEN - {01/01/2000}");
  EXPECT_EQ(r.type, ExpType::Date);
  EXPECT_EQ(r.value.number(), 0);
  EXPECT_EQ(E("QTY * PRICE / 3").value.number(), 10);
}

TEST_F(OperatorTest, PowerRepeatsTheMultiplication) {
  EXPECT_EQ(E("2 ^ 0").value.number(), 2);
  EXPECT_EQ(E("2 ^ 1").value.number(), 2);
  EXPECT_EQ(E("2 ^ -3").value.number(), 2);
  EXPECT_EQ(E("3 ^ 2.9").value.number(), 9);
  EXPECT_EQ(E("1.5 ^ 3").value.number(), 3.375);
  EXPECT_EQ(E("1 ^ 99999999999").value.number(), 1);  // no long loop
  // A result past the range of numbers is an error, not "inf" or "-nan" passed on.
  EXPECT_EQ(Error("10 ^ 5000"), "Numeric overflow in ^");
  EXPECT_EQ(Error("MOD(2 ^ 2000, 3)"), "Numeric overflow in ^");
  EXPECT_EQ(Error("10 ^ 300 * 10 ^ 300"), "Numeric overflow in *");
  EXPECT_EQ(Error("0 - 10 ^ 308 - 10 ^ 308"), "Numeric overflow in -");
  EXPECT_EQ(E("MOD(2 ^ 60, 3)").value.number(), 1);
}

TEST_F(OperatorTest, NumericComparisonsUseTheDifference) {
  EXPECT_TRUE(B("QTY = 12"));
  EXPECT_TRUE(B("QTY # 12.5"));
  EXPECT_TRUE(B("QTY > 11.99 .AND. QTY < 12.01 .AND. QTY >= 12 .AND. QTY <= 12"));
  EXPECT_TRUE(B("WHEN > {31/12/1999}"));  // dd/mm/yyyy under the C locale
  EXPECT_TRUE(B("WHEN = 2451545"));               // dates and numbers compare as one family
}

TEST_F(OperatorTest, BooleanOperators) {
  EXPECT_TRUE(B("FLAG = .T."));
  EXPECT_TRUE(B("FLAG # .F."));
  EXPECT_FALSE(B("FLAG .AND. .F."));
  EXPECT_TRUE(B(".F. .OR. FLAG"));
  EXPECT_EQ(Error(".T. + .T."), "A number value is required but invalid");
  EXPECT_EQ(Error(".T. > .F."), "A assigned value is required but invalid");
  EXPECT_EQ(Error(".T. $ .F."), "A assigned value is required but invalid");
}

TEST_F(OperatorTest, BothSidesOfLogicalOperatorsAreEvaluated) {
  link_.flag->reads = 0;
  B(".T. .OR. FLAG");
  B(".F. .AND. FLAG");
  EXPECT_EQ(link_.flag->reads, 2);
}

TEST_F(OperatorTest, TextPlusAndMinus) {
  EXPECT_EQ(E("'AB  ' + 'CD'").value.text(), "AB  CD");
  Result r = E("'AB  ' - 'CD'");
  EXPECT_EQ(r.type, ExpType::Text);
  EXPECT_EQ(r.value.text(), "ABCD  ");
  EXPECT_EQ(E("'' - 'CD '").value.text(), "CD ");
  EXPECT_EQ(E("NAME - CODE").value.text(), std::string("ABCAB") + std::string(9, ' '));
  Result none = E("() + ()");  // operands without a value give none
  EXPECT_EQ(none.type, ExpType::Empty);
  EXPECT_TRUE(none.value.is_null());
}

TEST_F(OperatorTest, InString) {
  EXPECT_TRUE(B("'BC' $ 'ABCD'"));
  EXPECT_FALSE(B("'bc' $ 'ABCD'"));
  EXPECT_FALSE(B("'AB  ' $ 'ABCD'"));  // the left text is taken whole
  EXPECT_FALSE(B("'' $ 'ABCD'"));
}

TEST_F(OperatorTest, TextComparisons) {
  EXPECT_TRUE(B("'ABC  ' = 'ABC'"));
  EXPECT_FALSE(B("'ABC' = 'AB'"));
  EXPECT_FALSE(B("'' = 'A'"));
  EXPECT_TRUE(B("'' < 'A'"));
  EXPECT_TRUE(B("NAME = 'ABC'"));
  EXPECT_TRUE(B("'a' > 'B'"));  // case-sensitive, by code
  EXPECT_TRUE(B("'   ' = ''"));  // blanks only compare as empty
  EXPECT_TRUE(B("'ABC' # 'abc'"));
  EXPECT_TRUE(B("'\xE9' > 'z'"));  // bytes compare unsigned
}

TEST_F(OperatorTest, Wildcards) {
  EXPECT_TRUE(B("'ABCD' = 'AB*'"));
  EXPECT_TRUE(B("'XXABYY' = 'AB*'"));
  EXPECT_TRUE(B("'AB' = 'AB*'"));
  EXPECT_FALSE(B("'XXAYY' = 'AB*'"));
  EXPECT_TRUE(B("NAME = '*'"));
  EXPECT_FALSE(B("'' = '*'"));
  EXPECT_TRUE(B("'ABCD' = '*C?'"));
  EXPECT_TRUE(B("'ABCD' = 'A*D*'"));
  EXPECT_FALSE(B("'ABCD' = 'D*A*'"));
  EXPECT_TRUE(B("'ABCD' < 'Z*'"));  // no match compares as lower
  EXPECT_FALSE(B("'A*' = 'A*B'"));  // only a pattern that starts or ends with * is one
}

TEST_F(OperatorTest, HandlerSettingsReachTheOperators) {
  ExpHandler h(&link_);
  h.set_case_insensitive(true);
  h.SetExpression("'abc' = 'ABC'");
  Variant v;
  h.EvaluateVariant(v);
  EXPECT_TRUE(v.boolean());
  h.set_case_insensitive(false);
  h.set_wildcards(false);
  h.SetExpression("'ABCD' = 'AB*'");
  h.EvaluateVariant(v);
  EXPECT_FALSE(v.boolean());

  ExpHandler sql(&link_, true);
  EXPECT_EQ(sql.wild_many(), '%');
  EXPECT_EQ(sql.wild_one(), '_');
  sql.SetExpression("'ABCD' = '%B_D' .AND. 'ABCD' # 'AB*'");
  sql.EvaluateVariant(v);
  EXPECT_TRUE(v.boolean());
}

TEST_F(OperatorTest, OperatorMessages) {
  EXPECT_EQ(Error("NAME = 1"), "The two sides of an operation do not match");
  EXPECT_EQ(Error("FLAG + 1"), "The two sides of an operation do not match");
  EXPECT_EQ(Error("NAME == 'A'"), "A assigned value is required but invalid");
  EXPECT_EQ(Error("1 == 1"), "A assigned value is required but invalid");
  EXPECT_EQ(Error("1 .AND. 1"), "A assigned value is required but invalid");
  EXPECT_EQ(Error(".NOT. 1"), "A assigned value is required but invalid");
  EXPECT_EQ(Error("NAME .OR. NAME"), "A assigned value is required but invalid");
  EXPECT_EQ(Error("'a' * 'b'"), "A number value is required but invalid");
  EXPECT_EQ(Error(".NOT."), "Target value missing for .NOT. operation");
  EXPECT_EQ(Error(".T. .AND. .NOT."), "Target value missing for .NOT. operation");
  EXPECT_EQ(Error("1 / 0"), "Division by zero");
}

TEST_F(OperatorTest, RightOperandIsEvaluatedFirst) {
  // The right side's error wins.
  EXPECT_EQ(Error("(1 / 0) + (.T. + .T.)"), "A number value is required but invalid");
}

}  // namespace
}  // namespace dbase::testing
