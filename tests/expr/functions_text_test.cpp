// Text functions of the library: trimming, searching, cutting, case, padding, STR, STRTRAN,
// SOUNDEX and VAL.
#include <gtest/gtest.h>

#include "expr/builtin_library.h"
#include "expr/registry.h"
#include "expr_test_support.h"
#include "platform/locale.h"

namespace dbase::testing {
namespace {

class TextFunctionTest : public ExpressionTest {};

TEST(LibraryTest, AllFunctionsAreRegistered) {
  EXPECT_EQ(BuiltinFunctionNames().size(), 55u);
  EXPECT_EQ(GlobalFunctions().size(), 55u);
  for (std::string_view name : BuiltinFunctionNames()) {
    ASSERT_NE(GlobalFunctions().Find(name), nullptr) << name;
    EXPECT_EQ(GlobalFunctions().Find(name)->Name(), name);
  }
  EXPECT_NE(GlobalFieldVars().Find("true"), nullptr);
  EXPECT_NE(GlobalFieldVars().Find("FALSE"), nullptr);
  EXPECT_NE(GlobalFieldVars().Find("Pi"), nullptr);
}

TEST_F(TextFunctionTest, Trimming) {
  EXPECT_EQ(T("ALLTRIM(' \tab c \r\n')"), "ab c");
  EXPECT_EQ(T("LTRIM('  ab  ')"), "ab  ");
  EXPECT_EQ(T("TRIM('  ab  ')"), "  ab");
  EXPECT_EQ(T("RTRIM(NAME)"), "ABC");
  EXPECT_EQ(N("LEN(NAME)"), 10);
  EXPECT_EQ(N("LEN('')"), 0);
}

TEST_F(TextFunctionTest, AscAndChr) {
  EXPECT_EQ(N("ASC('A')"), 65);
  EXPECT_EQ(N("ASC('')"), 0);
  EXPECT_EQ(N("ASC('\xE9')"), 233);
  EXPECT_EQ(T("CHR(65)"), "A");
  EXPECT_EQ(T("CHR(255.9)"), "\xFF");
  EXPECT_EQ(T("CHR(0)"), std::string(1, '\0'));
  EXPECT_EQ(Error("CHR(256)"), "A Byte value is required but invalid");
  EXPECT_EQ(Error("CHR(-1)"), "A Byte value is required but invalid");
}

TEST_F(TextFunctionTest, AtCountsOverlappingOccurrences) {
  EXPECT_EQ(N("AT('B', 'ABAB', 2)"), 4);
  EXPECT_EQ(N("AT('Z', 'ABC')"), 0);
  EXPECT_EQ(N("AT('AA', 'AAAA', 2)"), 2);
  EXPECT_EQ(N("AT('B', 'ABAB', 5)"), 4);  // fewer occurrences: the last one found
  EXPECT_EQ(N("AT('b', 'ABAB')"), 0);
  EXPECT_EQ(N("AT('B', 'ABAB', 'x')"), 2);  // a non-number occurrence is ignored
  EXPECT_EQ(N("ATC('b', 'xAbAB', 2)"), 5);
  EXPECT_EQ(N("AT('', 'ABC')"), 0);
}

TEST_F(TextFunctionTest, LeftRightSubstr) {
  EXPECT_EQ(T("LEFT('ABC', 2)"), "AB");
  EXPECT_EQ(T("LEFT('ABC', 0.005)"), "");
  EXPECT_EQ(T("LEFT('ABC', 9)"), "ABC");
  EXPECT_EQ(T("RIGHT('ABC', 0)"), "");
  EXPECT_EQ(T("RIGHT('ABC', 5)"), "ABC");
  EXPECT_EQ(T("RIGHT('ABC', 2)"), "BC");
  EXPECT_EQ(T("SUBSTR('ABCDE', 2, 3)"), "BCD");
  EXPECT_EQ(T("SUBSTR('ABC', 0)"), "");
  EXPECT_EQ(T("SUBSTR('ABC', 4)"), "");
  EXPECT_EQ(T("SUBSTR('ABC', 2, 99)"), "BC");
  EXPECT_EQ(T("SUBSTR('ABC', 2)"), "BC");
  EXPECT_EQ(T("SUBSTR('ABC', 2, 0)"), "");
  EXPECT_EQ(T("SUBSTR('ABCDE', -2, 3)"), "ABC");  // a start below 1 counts from the first
  EXPECT_EQ(Error("SUBSTR('ABC')"), "Number needed for Argument 2 of SUBSTR");
  EXPECT_EQ(Error("LEFT(1, 2)"), "Text needed for Argument 1 of LEFT");
}

TEST_F(TextFunctionTest, CaseFunctions) {
  EXPECT_EQ(T("UPPER('abc \xE9')"), "ABC \xC9");
  EXPECT_EQ(T("LOWER('ABC \xC9')"), "abc \xE9");
  EXPECT_EQ(T("PROPER(\"jOHN o'neil-smith mcDONALD\")"), "John O'neil-Smith Mcdonald");
  EXPECT_EQ(T("PROPER('a@b.c_d 1e')"), "A@B.C_D 1e");
}

TEST_F(TextFunctionTest, Soundex) {
  EXPECT_EQ(T("SOUNDEX('ROBERT')"), "R163");
  EXPECT_EQ(T("SOUNDEX('Rupert')"), "R163");
  EXPECT_EQ(T("SOUNDEX('A')"), "A000");
  EXPECT_EQ(T("SOUNDEX('')"), "0000");
  // Equal codes collapse also across dropped letters: T 5 2 (z) 2 (a) 2 (k) gives T52.
  EXPECT_EQ(T("SOUNDEX('Tymczak')"), "T520");
  EXPECT_EQ(T("SOUNDEX('Ashcraft')"), "A261");
  EXPECT_EQ(T("SOUNDEX('BBB')"), "B100");       // the first letter is not a code
}

TEST_F(TextFunctionTest, SpaceAndPadding) {
  EXPECT_EQ(T("SPACE(3)"), "   ");
  EXPECT_EQ(T("SPACE(-2)"), "");
  EXPECT_EQ(T("PADL('7', 3, '0')"), "007");
  EXPECT_EQ(T("PADR('ABCD', 2)"), "ABCD");
  EXPECT_EQ(T("PADC('A', 4, '*')"), "*A**");
  EXPECT_EQ(T("PADR('A', 3)"), "A  ");
  EXPECT_EQ(T("PADL(12.5, 6)"), "  12.5");
  EXPECT_EQ(T("PADL(.T., 2)"), " T");
  EXPECT_EQ(Error("PADL('A', 3, 'xy')"), "A Char value is required but invalid");
  EXPECT_EQ(Error("PADL('A', 3, 1)"), "A Char value is required but invalid");
  EXPECT_EQ(Error("PADL()"), "Value needed for Argument 1 of Pad");
  EXPECT_EQ(Error("PADL('A')"), "Number needed for Argument 2 of PADL");
  EXPECT_EQ(Error("SPACE(1e10)"), "Syntax Error in expression \"SPACE(1e10)\"");  // no exponents
}

TEST_F(TextFunctionTest, HugeResultsAreRefused) {
  EXPECT_EQ(Error("SPACE(99999999999)"), "Result of SPACE would exceed 16777216 characters");
  EXPECT_EQ(Error("PADL('a', 99999999999)"), "Result of PADL would exceed 16777216 characters");
  EXPECT_EQ(Error("STR(1, 99999999999)"), "Result of STR would exceed 16777216 characters");
  EXPECT_EQ(Error("STRTRAN(SPACE(10), ' ', SPACE(2000000))"), "Result of STRTRAN would exceed 16777216 characters");
  EXPECT_EQ(Error("SPACE(9000000) + SPACE(9000000)"), "Result of + would exceed 16777216 characters");
  EXPECT_EQ(Error("SPACE(9000000) - SPACE(9000000)"), "Result of - would exceed 16777216 characters");
}

TEST_F(TextFunctionTest, Str) {
  EXPECT_EQ(T("STR(3.14159, 6, 2)"), "  3.14");
  EXPECT_EQ(T("STR(123456, 3)"), "***");
  EXPECT_EQ(T("STR(5)"), "         5");
  EXPECT_EQ(T("STR(2.5, 3)"), "  3");      // half away from zero
  EXPECT_EQ(T("STR(-2.5, 3)"), " -3");
  EXPECT_EQ(T("STR(2.675, 5, 2)"), " 2.68");
  EXPECT_EQ(T("STR(9.999, 5, 2)"), "10.00");
  EXPECT_EQ(T("STR(-0.001, 5, 2)"), " 0.00");
  EXPECT_EQ(T("STR(12, 4, 'x')"), "  12");  // non-number options are ignored
  EXPECT_EQ(T("STR(1, 0)"), "");
  EXPECT_EQ(T("STR(1, 3, 9)"), "***");
  EXPECT_EQ(T("STRZERO(5, 3)"), "005");
  EXPECT_EQ(T("STRZERO(-5, 4)"), "00-5");
  link_.set_str_width(4);
  EXPECT_EQ(T("STR(5)"), "   5");
  link_.set_str_width(0);
  EXPECT_EQ(T("STR(5)"), "         5");
}

TEST_F(TextFunctionTest, StrTran) {
  EXPECT_EQ(T("STRTRAN('aXbXc', 'X', '-', 2)"), "aXb-c");
  EXPECT_EQ(T("STRTRAN('aXbXcX', 'X', '-', 1, 2)"), "a-b-cX");
  EXPECT_EQ(T("STRTRAN('aXbXc', 'X')"), "abc");
  EXPECT_EQ(T("STRTRAN('aXbXc', 'X', 5)"), "abc");  // a non-text replacement is empty
  EXPECT_EQ(T("STRTRAN('aXbXc', '', '-')"), "aXbXc");
  EXPECT_EQ(T("STRTRAN('', 'X', '-')"), "");
  EXPECT_EQ(T("STRTRAN('aXbXc', 'X', '-', 1, 0)"), "aXbXc");
  EXPECT_EQ(T("STRTRAN('aaaa', 'aa', 'b')"), "bb");
}

TEST_F(TextFunctionTest, ValUsesTheLocaleSeparator) {
  EXPECT_EQ(N("VAL('12.5')"), 12.5);
  EXPECT_EQ(N("VAL('  -3 ')"), -3);
  EXPECT_EQ(N("VAL('')"), 0);
  EXPECT_EQ(N("VAL('12a')"), 0);
  EXPECT_EQ(N("VAL('inf')"), 0);
  EXPECT_EQ(N("VAL('1e3')"), 1000);
  platform::SetDecimalSeparatorForTesting(',');
  EXPECT_EQ(N("VAL('12,5')"), 12.5);
  EXPECT_EQ(N("VAL('12.5')"), 0);
  platform::SetDecimalSeparatorForTesting(std::nullopt);
}

TEST_F(TextFunctionTest, DescendReversesTextOrder) {
  EXPECT_EQ(T("DESCEND('A')"), "\xBF");
  EXPECT_EQ(T("DESCEND(CHR(0) + CHR(1))"), std::string("\0\xFF", 2));
  EXPECT_TRUE(Eval("DESCEND('ABD') < DESCEND('ABC')", &link_).value.boolean());
}

}  // namespace
}  // namespace dbase::testing
