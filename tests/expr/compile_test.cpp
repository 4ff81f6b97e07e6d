// Compilation: tokens, precedence and binding, the rebuilt text, counters and every compile
// error message.
#include <gtest/gtest.h>

#include "expr/exp_handler.h"
#include "expr_test_support.h"

namespace dbase::testing {
namespace {

class CompileTest : public ExpressionTest {
 protected:
  // Any type of the numeric family (dates and binary numbers too).
  double Number(std::string_view text) {
    Result r = E(text);
    EXPECT_TRUE(IsNumericFamily(r.type)) << text;
    return r.value.number();
  }
  std::string Rebuilt(std::string_view text) { return ExpHandler(&link_, false, text).ExpressionText(); }
};

TEST_F(CompileTest, SameLevelBindsFromTheLeft) {
  EXPECT_EQ(Number("10 - 4 - 3"), 3);
  EXPECT_EQ(Number("100 / 10 / 5"), 2);
  EXPECT_EQ(Number("2 ^ 3 ^ 2"), 64);  // (2^3)^2
  EXPECT_EQ(Number("2 ** 3"), 8);
  EXPECT_EQ(Rebuilt("QTY - PRICE - 1"), "QTY-PRICE-1");
}

TEST_F(CompileTest, PrecedenceLevels) {
  EXPECT_EQ(Number("1 + 2 * 3 ^ 2"), 19);
  EXPECT_EQ(Number("(1 + 2) * 3"), 9);
  EXPECT_EQ(Number("2 * 3 + 4 * 5"), 26);
  EXPECT_TRUE(B("1 + 1 = 2 .AND. 3 > 2"));
  EXPECT_TRUE(B(".T. .OR. .T. .AND. .F."));  // AND before OR
  EXPECT_FALSE(B("(.T. .OR. .T.) .AND. .F."));
}

TEST_F(CompileTest, NotNegatesTheWholeComparison) {
  EXPECT_FALSE(B(".NOT. QTY = 12"));
  EXPECT_TRUE(B(".NOT. QTY = 13"));
  EXPECT_TRUE(B("!FLAG = .F."));
  EXPECT_TRUE(B("NOT(.F.)"));
  EXPECT_TRUE(B("not .F."));
}

TEST_F(CompileTest, NotAfterOtherTokensTakesTheRestOfTheText) {
  // a .AND. .NOT. b .OR. c reads as a .AND. (.NOT. b .OR. c)
  EXPECT_FALSE(B(".F. .AND. .NOT. .T. .OR. .T."));
  EXPECT_TRUE(B(".T. .AND. .NOT. .T. .OR. .T."));
  EXPECT_EQ(Rebuilt("FLAG .AND. .NOT. FLAG .OR. FLAG"), "FLAG.AND.(.NOT.FLAG.OR.FLAG)");
  // The group made for the rest must not balance with text further on.
  EXPECT_EQ(Error(".T. .AND. .NOT. .T.) .OR. (.T."), "Syntax Error in expression \".T. .AND. .NOT. .T.) .OR. (.T.\"");
}

TEST_F(CompileTest, WordOperatorsAnyCaseBareOrDotted) {
  EXPECT_TRUE(B("QTY eq 12 and PRICE Lt 3"));
  EXPECT_TRUE(B("QTY.GE.12 .AND.QTY.le.12"));
  // A number takes the periods that follow it.
  EXPECT_EQ(Error("QTY.GE.12.AND.FLAG"), "Missing closing period");  // 12. AND .FLAG
  EXPECT_TRUE(B("QTY ne 1 OR .F."));
  EXPECT_TRUE(B("QTY GT 11"));
  EXPECT_TRUE(B("QTY != 1 .and. QTY <> 2 .and. QTY # 3"));
  EXPECT_TRUE(B("QTY => 12 .and. QTY =< 12"));
}

TEST_F(CompileTest, RebuiltTextUsesDisplayNames) {
  EXPECT_EQ(Rebuilt("'A' $ NAME"), "\"A\"in stringNAME");
  EXPECT_EQ(Rebuilt("NAME == 'A'"), "NAMEexactly equal\"A\"");
  EXPECT_EQ(Rebuilt("qty <> 1 and not flag"), "QTY#1.AND.(.NOT.FLAG)");
  EXPECT_EQ(Rebuilt("upper( t->name ) + [x]"), "UPPER(NAME)+\"x\"");  // a variable's first name
  EXPECT_EQ(Rebuilt("1.50 + 2"), "1.50+2");
  EXPECT_EQ(Rebuilt(".t. = .F."), ".T.=.F.");
  EXPECT_EQ(Rebuilt("{01/02/2000}"), "{01/02/2000}");
  EXPECT_EQ(Rebuilt("PI"), "PI");
  EXPECT_EQ(Rebuilt("SUBSTR(NAME,,2, ,3)"), "SUBSTR(NAME,2,3)");
  EXPECT_EQ(Rebuilt("( )"), "()");
}

TEST_F(CompileTest, NumberLiterals) {
  EXPECT_EQ(Number("-5 + +3"), -2);
  EXPECT_EQ(Number("5."), 5);
  EXPECT_EQ(Number("1.2.3"), 0);  // not a number
  EXPECT_EQ(Number("3 - -1"), 4);
  ExpHandler h(&link_, false, "1.2.3");
  EXPECT_EQ(h.ExpressionText(), "0.000");
}

TEST_F(CompileTest, AliasQualifiedFields) {
  EXPECT_EQ(Eval("T.QTY + t->qty", &link_).value.number(), 24);
  EXPECT_EQ(Error("X.QTY"), "There is no function for X");
  EXPECT_EQ(Error("nosuch"), "There is no function for NOSUCH");
  EXPECT_EQ(Error("T.NOSUCH"), "There is no function for T");
}

TEST_F(CompileTest, LiteralsAndQuotes) {
  EXPECT_EQ(Eval("\"it's\"", &link_).value.text(), "it's");
  EXPECT_EQ(Eval("'say \"hi\"'", &link_).value.text(), "say \"hi\"");
  EXPECT_EQ(Eval("[a'b\"c]", &link_).value.text(), "a'b\"c");
  // The first closing character ends a literal: what follows must be an operator.
  EXPECT_EQ(Error("'a'b'"), "Syntax Error in expression \"'a'b'\"");
  // Parentheses inside literals do not count when balancing.
  EXPECT_EQ(Eval("LEN(')(' + [(])", &link_).value.number(), 3);
  EXPECT_EQ(Eval("(')')", &link_).value.text(), ")");
}

TEST_F(CompileTest, CountersFollowOperands) {
  ExpHandler h(&link_, false, "QTY + 1.25 * LEN(NAME) + 100");
  EXPECT_EQ(h.operand_count(), 5);  // QTY, 1.25, LEN, NAME, 100
  EXPECT_EQ(h.max_length(), 10);    // NAME
  EXPECT_EQ(h.max_decimals(), 2);
  h.SetExpression("12345678901234.5");
  EXPECT_EQ(h.operand_count(), 1);
  EXPECT_EQ(h.max_length(), 16);
  EXPECT_EQ(h.max_decimals(), 1);
  h.SetExpression("");
  EXPECT_EQ(h.operand_count(), 0);
  EXPECT_FALSE(h.has_tree());
}

TEST_F(CompileTest, FieldNamesForOneOwner) {
  ExpHandler h(&link_, false, "UPPER(NAME) + STR(QTY + T.QTY) + IIF(TRUE, CODE, '')");
  EXPECT_EQ(h.FieldNamesFor(kOwnerTableField), ";NAME;QTY;QTY;CODE");
  EXPECT_EQ(h.FieldNamesFor(kOwnerUserVariable), ";TRUE");
}

TEST_F(CompileTest, CompileErrorMessages) {
  EXPECT_EQ(Error("QTY +"), "Syntax Error in expression \"QTY +\"");
  EXPECT_EQ(Error("QTY QTY"), "Syntax Error in expression \"QTY QTY\"");
  EXPECT_EQ(Error("QTY * = 1"), "Syntax Error in expression \"QTY * = 1\"");
  EXPECT_EQ(Error("@"), "Syntax Error in expression \"@\"");
  EXPECT_EQ(Error("(QTY + 1"), "Missing closing parentheses");
  EXPECT_EQ(Error("LEN(NAME"), "Missing closing parentheses");
  EXPECT_EQ(Error(".T"), "Missing closing period");
  EXPECT_EQ(Error(".X."), "Expecting \".T.\" or \".F.\"");
  EXPECT_EQ(Error(".AND. .T."), "Expecting \".T.\" or \".F.\"");
  EXPECT_EQ(Error("'abc"), "Missing closing \"'\" on literal");
  EXPECT_EQ(Error("\"abc"), "Missing closing \"\"\" on literal");
  EXPECT_EQ(Error("[abc"), "Missing closing \"[\" on literal");
  EXPECT_EQ(Error("{01/01/2000"), "Missing closing \"{\" on literal");
  EXPECT_EQ(Error("NOFUNC(1)"), "There is no function for NOFUNC");
  EXPECT_EQ(Error("UPPER (NAME)"), "There is no function for UPPER");
  EXPECT_EQ(Error("TRUE()"), "There is no function for TRUE");
  EXPECT_EQ(Error("LEN(NOSUCH)"), "There is no function for NOSUCH");
}

TEST_F(CompileTest, WithoutLinkEveryVariableIsUnknown) {
  EXPECT_EQ(ErrorOf("TRUE", nullptr), "Field/variable TRUE is unknown");
  EXPECT_EQ(ErrorOf("1 + pi", nullptr), "Field/variable PI is unknown");
  EXPECT_EQ(ErrorOf("NOFUNC(1)", nullptr), "There is no function for NOFUNC");
  EXPECT_EQ(Eval("PI()", nullptr).value.number(), Eval("PI", &link_).value.number());
}

TEST_F(CompileTest, LinkFunctionsComeAfterTheLibrary) {
  class Seven : public UserDefFunction {
   public:
    std::string_view Name() const override { return name; }
    void Evaluate(ExpFunction&, Variant& out, ExpType& type) override {
      out.SetNumber(7);
      type = ExpType::Number;
    }
    std::string_view name;
  };
  auto seven = std::make_unique<Seven>();
  seven->name = "SEVEN";
  EXPECT_TRUE(link_.AddFunction(std::move(seven)));
  auto len = std::make_unique<Seven>();
  len->name = "LEN";
  EXPECT_TRUE(link_.AddFunction(std::move(len)));
  auto again = std::make_unique<Seven>();
  again->name = "seven";
  EXPECT_FALSE(link_.AddFunction(std::move(again)));
  EXPECT_EQ(Number("SEVEN() + seven()"), 14);
  EXPECT_EQ(Number("LEN('ab')"), 2);  // the library's LEN is found first
}

TEST_F(CompileTest, FailedCompileLeavesNoTree) {
  ExpHandler h(&link_, false, "QTY + 1");
  EXPECT_TRUE(h.has_tree());
  EXPECT_THROW(h.SetExpression("QTY +"), ExpressionError);
  EXPECT_FALSE(h.has_tree());
  EXPECT_EQ(h.ExpressionText(), "");
  EXPECT_EQ(h.operand_count(), 0);
}

TEST_F(CompileTest, EmptyTextAndEmptyGroup) {
  ExpHandler h(&link_, false, "   ");
  EXPECT_FALSE(h.has_tree());
  Variant v = Variant::FromText("kept");
  h.EvaluateVariant(v);
  EXPECT_EQ(h.ResultType(), ExpType::Unknown);
  EXPECT_EQ(v.text(), "kept");
  Result r = Eval("()", &link_);
  EXPECT_EQ(r.type, ExpType::Empty);
  EXPECT_TRUE(r.value.is_null());
}

}  // namespace
}  // namespace dbase::testing
