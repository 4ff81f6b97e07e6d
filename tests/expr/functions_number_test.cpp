// Number functions of the library: arithmetic, trigonometry with range checks, MOD, FV, PV.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "expr_test_support.h"

namespace dbase::testing {
namespace {

class NumberFunctionTest : public ExpressionTest {};

TEST_F(NumberFunctionTest, RoundingFamily) {
  EXPECT_EQ(N("ABS(-2.5)"), 2.5);
  EXPECT_EQ(N("INT(-2.7)"), -2);
  EXPECT_EQ(N("INT(2.7)"), 2);
  EXPECT_EQ(N("CEILING(2.1)"), 3);
  EXPECT_EQ(N("CEILING(-2.1)"), -2);
  EXPECT_EQ(N("FLOOR(-2.1)"), -3);
  EXPECT_EQ(N("MOD(7, 3)"), 1);
  EXPECT_EQ(N("MOD(-7, 3)"), -1);
  EXPECT_EQ(N("MOD(7.9, -3.5)"), 1);  // both truncated first
  EXPECT_EQ(Error("MOD(1, 0.5)"), "Division by zero");
}

TEST_F(NumberFunctionTest, Trigonometry) {
  EXPECT_DOUBLE_EQ(N("PI()"), std::numbers::pi);
  EXPECT_DOUBLE_EQ(N("PI"), std::numbers::pi);
  EXPECT_DOUBLE_EQ(N("COS(0)"), 1);
  EXPECT_DOUBLE_EQ(N("SIN(PI / 2)"), 1);
  EXPECT_NEAR(N("TAN(PI / 4)"), 1, 1e-12);
  EXPECT_DOUBLE_EQ(N("ATAN(1)"), std::numbers::pi / 4);
  EXPECT_DOUBLE_EQ(N("ATN2(1, -1)"), 3 * std::numbers::pi / 4);  // y first
  EXPECT_DOUBLE_EQ(N("ACOS(-1)"), std::numbers::pi);
  EXPECT_DOUBLE_EQ(N("ASIN(1)"), std::numbers::pi / 2);
  EXPECT_DOUBLE_EQ(N("DTOR(180)"), std::numbers::pi);
  EXPECT_DOUBLE_EQ(N("RTOD(PI)"), 180);
  EXPECT_EQ(Error("ACOS(1.01)"), "Argument for ACOS must be -1 to +1");
  EXPECT_EQ(Error("ASIN(-2)"), "Argument for ASIN must be -1 to +1");
}

TEST_F(NumberFunctionTest, Logarithms) {
  EXPECT_DOUBLE_EQ(N("LOG(1)"), 0);
  EXPECT_DOUBLE_EQ(N("LOG10(1000)"), 3);
  EXPECT_EQ(Error("LOG(0)"), "Argument for LOG must be > 0");
  EXPECT_EQ(Error("LOG10(-1)"), "Argument for LOG10 must be > 0");
}

TEST_F(NumberFunctionTest, ArgumentTypesAreChecked) {
  EXPECT_EQ(Error("ABS('x')"), "Number needed for Argument 1 of ABS");
  EXPECT_EQ(Error("ABS()"), "Number needed for Argument 1 of ABS");
  EXPECT_EQ(Error("ATN2(1)"), "Number needed for Argument 2 of ATN2");
  EXPECT_EQ(N("ABS(WHEN - 2451546)"), 1);  // a date is accepted as a number
}

TEST_F(NumberFunctionTest, FutureValue) {
  // 100 a period for 10 periods at 5%: 1257.79; with the payment at the start: 1320.68.
  EXPECT_NEAR(N("FV(100, 0.05, 10)"), 1257.789254, 1e-6);
  EXPECT_NEAR(N("FV(100, 0.05, 10, 0, 1)"), 1320.678716, 1e-6);
  EXPECT_NEAR(N("FV(100, 0.05, 10, 1000)"), 1257.789254 + 1628.894627, 1e-6);
  EXPECT_EQ(N("FV(100, 0, 10)"), 1000);
  EXPECT_NEAR(N("FV(100, 0.00001, 10)"), 1000.045, 1e-9);  // the near-zero series
  EXPECT_NEAR(N("FV(100, 0.05, 10.9)"), 1257.789254, 1e-6);  // periods truncated
  EXPECT_EQ(Error("FV(100, 0.05, 10, 0, 2)"), "Argument for FV PaymentTime must be 0 or 1");
  EXPECT_EQ(Error("FV(100, -1, 10)"), "Invalid argument to FutureValue");
  EXPECT_EQ(Error("FV(1, 9, 100)"), "Invalid argument to FutureValue");
}

TEST_F(NumberFunctionTest, PresentValue) {
  EXPECT_NEAR(N("PV(100, 0.05, 10)"), 772.173493, 1e-6);
  EXPECT_NEAR(N("PV(100, 0.05, 10, 0, 1)"), 810.782168, 1e-6);
  EXPECT_EQ(N("PV(100, 0, 10)"), 1000);
  EXPECT_EQ(Error("PV(100, 0.05, 10, 0, -1.5)"), "Argument for FV PaymentTime must be 0 or 1");
  EXPECT_EQ(Error("PV(100, -2, 10)"), "Invalid argument to PresentValue");
}

}  // namespace
}  // namespace dbase::testing
