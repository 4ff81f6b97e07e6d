// Selecting, logical and date functions of the library, and the empty date.
#include <gtest/gtest.h>

#include <cmath>

#include "dbf/dbf_date.h"
#include "dbf/value.h"
#include "expr_test_support.h"
#include "platform/locale.h"

namespace dbase::testing {
namespace {

class LogicDateFunctionTest : public ExpressionTest {};

TEST_F(LogicDateFunctionTest, Iif) {
  EXPECT_EQ(E("IIF(.T., 1, 1/0)").value.number(), 1);
  EXPECT_EQ(E("IIF(QTY > 20, 'big', 'small')").value.text(), "small");
  Result missing = E("IIF(.F., 1)");
  EXPECT_EQ(missing.type, ExpType::Empty);
  EXPECT_TRUE(missing.value.is_null());
  EXPECT_EQ(Error("IIF(1, 2, 3)"), "Boolean needed for Argument 1 of IIF");
}

TEST_F(LogicDateFunctionTest, Empty) {
  EXPECT_TRUE(B("EMPTY('   ')"));
  EXPECT_TRUE(B("EMPTY('')"));
  EXPECT_FALSE(B("EMPTY(' x ')"));
  EXPECT_FALSE(B("EMPTY(CHR(9))"));  // only blanks count
  EXPECT_TRUE(B("EMPTY(0)"));
  EXPECT_FALSE(B("EMPTY(0.1)"));
  EXPECT_TRUE(B("EMPTY(CTOD(''))"));
  EXPECT_TRUE(B("EMPTY({})"));
  EXPECT_FALSE(B("EMPTY(WHEN)"));
  EXPECT_TRUE(B("EMPTY(.F.)"));
  EXPECT_FALSE(B("EMPTY()"));
}

TEST_F(LogicDateFunctionTest, InList) {
  EXPECT_TRUE(B("INLIST(CODE, 'X', 'AB')"));  // trailing blanks of the value dropped
  EXPECT_FALSE(B("INLIST('AB', 'AB  ')"));     // not those of the list
  EXPECT_TRUE(B("INLIST(QTY, 1, 12)"));
  EXPECT_FALSE(B("INLIST(QTY)"));
  EXPECT_FALSE(B("INLIST()"));
  EXPECT_TRUE(B("INLIST(12, '12')"));  // a text meets a number as the number it reads as
  EXPECT_EQ(Error("INLIST(12, 'x')"), "Values of types Number and Text cannot be compared");
}

TEST_F(LogicDateFunctionTest, Between) {
  EXPECT_TRUE(B("BETWEEN(QTY, 10, 12)"));
  EXPECT_FALSE(B("BETWEEN(QTY, 13, 20)"));
  EXPECT_TRUE(B("BETWEEN('B', 'A', 'C')"));
  EXPECT_TRUE(B("BETWEEN(WHEN, WHEN - 1, 2451545)"));
  EXPECT_EQ(Error("BETWEEN(QTY, 'a', 'b')"), "Number needed for Argument 2 of BETWEEN");
  EXPECT_EQ(Error("BETWEEN('b', 'a')"), "Text needed for Argument 3 of BETWEEN");
}

TEST_F(LogicDateFunctionTest, MaxAndMin) {
  Result r = E("MAX(3, 9, 4)");
  EXPECT_EQ(r.type, ExpType::Number);
  EXPECT_EQ(r.value.number(), 9);
  EXPECT_EQ(E("MIN(3, 9, 1)").value.number(), 1);
  EXPECT_EQ(E("MAX('B', 'C', 'A')").value.text(), "C");
  EXPECT_EQ(E("MAX(5)").value.number(), 5);
  EXPECT_EQ(E("MAX(WHEN, 1 + WHEN)").type, ExpType::Date);  // WHEN + 1 would be a Number
  EXPECT_EQ(Error("MAX()"), "A value is required for Max()");
  EXPECT_EQ(Error("MIN()"), "A value is required for Min()");
  EXPECT_EQ(Error("MAX(1, 'a')"), "All arguments for Max() must be of the same type");
  EXPECT_EQ(Error("MIN(WHEN, 1)"), "All arguments for Min() must be of the same type");
}

TEST_F(LogicDateFunctionTest, DateConversions) {
  // Under the C locale the short date format is dd/mm/yyyy.
  Result d = E("CTOD('02/01/2000')");
  EXPECT_EQ(d.type, ExpType::Date);
  EXPECT_EQ(d.value.number(), 2451546);
  EXPECT_EQ(T("DTOS(CTOD('02/01/2000'))"), "20000102");
  EXPECT_EQ(T("DTOC(WHEN)"), "01/01/2000");
  EXPECT_EQ(T("DTOC(WHEN, 1)"), "20000101");
  EXPECT_EQ(T("DTOC(WHEN, 2)"), "01/01/2000");
  EXPECT_EQ(T("DTOS(CTOD(''))"), "        ");
  EXPECT_EQ(T("DTOC(CTOD(''))"), "          ");
  EXPECT_EQ(T("DTOS({})"), "        ");
  EXPECT_EQ(E("CTOD('')").value.number(), 1e100);
  EXPECT_EQ(T("DTOS(CTOD('19991231'))"), "19991231");
  EXPECT_EQ(E("DOW(WHEN)").value.number(), 7);  // a Saturday
  EXPECT_EQ(E("DOW(CTOD(''))").value.number(), 0);
  EXPECT_EQ(Error("CTOD('31/02/2000')"), "A Date value is required but invalid");
  EXPECT_EQ(Error("{32/01/2000}"), "A Date value is required but invalid");
  EXPECT_EQ(Error("DTOS(WHEN + 9999999)"), "A Date value is required but invalid");
  EXPECT_EQ(Error("DTOS('20000101')"), "Date needed for Argument 1 of DTOS");
}

TEST_F(LogicDateFunctionTest, DateFollowsTheShortDateFormat) {
  platform::SetShortDateFormatForTesting("mm-dd-yyyy");
  EXPECT_EQ(T("DTOC(CTOD('01-02-2000'))"), "01-02-2000");
  EXPECT_EQ(T("DTOS(CTOD('01-02-2000'))"), "20000102");
  platform::SetShortDateFormatForTesting(std::nullopt);
}

TEST_F(LogicDateFunctionTest, Today) {
  Result today = E("DATE()");
  EXPECT_EQ(today.type, ExpType::Date);
  EXPECT_EQ(today.value.number(), DBFDate::Shared().TodayJul());
}

TEST_F(LogicDateFunctionTest, DescendReversesOrder) {
  EXPECT_TRUE(B("DESCEND(WHEN + 1) < DESCEND(WHEN)"));
  EXPECT_EQ(E("DESCEND(WHEN)").value.number(), 5231808 - 2451545);
  Result empty = E("DESCEND(CTOD(''))");
  EXPECT_EQ(empty.type, ExpType::Date);
  EXPECT_EQ(empty.value.number(), 1e100);
  EXPECT_EQ(E("DESCEND(5)").value.number(), -5);
  Result zero = E("DESCEND(0)");
  EXPECT_FALSE(std::signbit(zero.value.number()));
  EXPECT_FALSE(E("DESCEND(.T.)").value.boolean());
  Result none = E("DESCEND(())");
  EXPECT_EQ(none.type, ExpType::Empty);
  EXPECT_FALSE(none.value.boolean());
}

}  // namespace
}  // namespace dbase::testing
