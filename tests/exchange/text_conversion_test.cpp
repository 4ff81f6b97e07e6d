// Text value conversions of the product import: CSV splitting and the date, logical and
// number readers, on ordinary, malformed and hostile text.
#include "exchange/text_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "dataset/date_time.h"

namespace quarvel {
namespace {

using Strings = std::vector<std::string>;

std::tuple<int, int, int> Parts(DateTime date) {
  int y = 0, m = 0, d = 0;
  EXPECT_TRUE(DecodeDate(date, y, m, d)) << date.days;
  return {y, m, d};
}

TEST(TextConversionCsv, SplitsPerQuotesCommasAndBlanks) {
  const std::vector<std::pair<std::string, Strings>> cases = {
      {"", {}},
      {R"("A1","Box, small")", {"A1", "Box, small"}},
      {R"(a,"q")", {"a", "q"}},
      {"a,b,", {"a", "b"}},
      {",,,", {"", "", ""}},
      {" , ", {"", ""}},
      {R"(  "x"   ,  y  )", {"x", "y"}},
      {R"(")", {""}},
      {R"("ab,c)", {R"("ab)", "c"}},          // unclosed quote: the next comma ends the value
      {R"("a"b,c)", {R"("a"b)", "c"}},        // not enclosed, so the quotes stay
      {R"(a"b"c,d)", {R"(a"b"c)", "d"}},
      {R"( "a,b")", {R"("a)", R"(b")"}},      // a quote after a blank does not open a value
      {"Caf\xE9,\xA0x\xA0", {"Caf\xE9", "\xA0x\xA0"}},
      {std::string("a\0b,\0", 5), {std::string("a\0b", 3), std::string(1, '\0')}},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(SplitCsvLine(line), expected) << line;
}

TEST(TextConversionCsv, MegabyteLinesSplitInOnePass) {
  const size_t n = size_t{1} << 20;
  EXPECT_EQ(SplitCsvLine(std::string(n, ',')).size(), n);
  EXPECT_EQ(SplitCsvLine(std::string(n, '"')), Strings{std::string(n - 2, '"')});
  std::string pairs;
  for (size_t i = 0; i < n / 2; ++i) pairs += "\",";
  EXPECT_EQ(SplitCsvLine(pairs), Strings(n / 4, ","));
  std::string unclosed = "\"";
  for (size_t i = 0; i < n / 2; ++i) unclosed += ",x";
  Strings values = SplitCsvLine(unclosed);
  ASSERT_EQ(values.size(), n / 2 + 1);
  EXPECT_EQ(values.front(), "");
  EXPECT_EQ(values.back(), "x");
}

TEST(TextConversionDate, TakesEightDigitsAndClampsToValidDates) {
  const std::vector<std::pair<std::string, std::tuple<int, int, int>>> cases = {
      {"", {1899, 12, 30}},           {"  ", {1899, 12, 30}},
      {"1899/12/30", {1899, 12, 30}}, {"2023/12/07", {2023, 12, 7}},
      {"20231207", {2023, 12, 7}},    {"2023-12-07T10:30", {2023, 12, 7}},
      {"20240229", {2024, 2, 29}},    {"2023/13/05", {2023, 12, 5}},
      {"25/12/2023", {2512, 12, 23}}, {"1234", {1899, 12, 30}},
      {"99999999", {9999, 12, 30}},   {"18000615", {1899, 6, 15}},
      {"20230131", {2023, 1, 31}},    {"20230132", {2023, 1, 30}},
      {"20230100", {2023, 1, 30}},    {"20230431", {2023, 4, 30}},
      {"20230200", {2023, 2, 28}},    {"20230229", {2023, 2, 28}},
      {"19000229", {1900, 2, 28}},    {"20000229", {2000, 2, 29}},    {"20240230", {2024, 2, 28}},    {std::string("2023\0" "06\xB2" "15", 10), {2023, 6, 15}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Parts(TextToDate(text)), expected) << text;
  EXPECT_EQ(TextToDate(""), DateTime{});
  EXPECT_EQ(Parts(TextToDate(std::string(1 << 20, 'x') + "20230615")), std::make_tuple(2023, 6, 15));
}

TEST(TextConversionDate, EveryMonthAndDayGivesAValidDateKeepingValidOnes) {
  for (int month = 0; month < 100; ++month) {
    for (int day = 0; day < 100; ++day) {
      char text[9];
      std::snprintf(text, sizeof text, "2024%02d%02d", month, day);
      auto [y, m, d] = Parts(TextToDate(text));
      const int last = month == 2 ? 29 : month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
      if (month >= 1 && month <= 12 && day >= 1 && day <= last) {
        EXPECT_EQ(std::make_tuple(y, m, d), std::make_tuple(2024, month, day)) << text;
      }
    }
  }
}

TEST(TextConversionBoolean, FirstCharacterDecides) {
  for (const char* text : {"T", "t", "V", "v", "1", "TRUE", "Verdadeiro", "1abc"}) EXPECT_TRUE(TextToBoolean(text)) << text;
  for (const char* text : {"F", "N", "S", "0", "", " ", " T", "\xD4", "y"}) EXPECT_FALSE(TextToBoolean(text)) << text;
}

struct NumberCase {
  std::string text;
  int32_t integer;
  double floating;
};

TEST(TextConversionNumber, ReadsTheDecimalGrammarOrGivesZero) {
  const std::vector<NumberCase> cases = {
      {"", 0, 0}, {"   ", 0, 0}, {"  12  ", 12, 12}, {"+12", 12, 12}, {"-12", -12, -12},
      {"12.7", 12, 12.7}, {"-12.7", -12, -12.7}, {".5", 0, 0.5}, {"7.", 7, 7}, {"-.5", 0, -0.5},
      {".", 0, 0}, {"+", 0, 0}, {"-", 0, 0}, {"e5", 0, 0}, {"1e3", 1000, 1000},
      {"1.5E+3", 1500, 1500}, {"125e-2", 1, 1.25}, {"5.e1", 50, 50},
      {"0.0000000000000000000000012e25", 12, 12}, {"00000000000000000000000000012", 12, 12},
      {"12345678901234567890e-10", 1234567890, 1234567890.123456789},
      // Malformed: the whole text must be the number.
      {"1e", 0, 0}, {"1e+", 0, 0}, {"12abc", 0, 0}, {"1,5", 0, 0}, {"1 000", 0, 0}, {"- 5", 0, 0},
      {"\t5", 0, 0}, {"0x10", 0, 0}, {"inf", 0, 0}, {"nan", 0, 0}, {"1.2.3", 0, 0},
      {std::string("1\0", 2), 0, 0},
      // Low 32 bits of whole numbers within 64 bits, computed exactly.
      {"2147483648", INT32_MIN, 2147483648.0}, {"4294967297", 1, 4294967297.0},
      {"-2147483649", INT32_MAX, -2147483649.0}, {"9223372036854775807", -1, 9223372036854775807.0},
      {"-9223372036854775808", 0, -9223372036854775808.0}, {"9007199254740993", 1, 9007199254740992.0},
      // Beyond 64 bits: still the low 32 bits of the whole number. Beyond a double: 0 as a float.
      {"99999999999999999999", 1661992959, 1e20}, {"-99999999999999999999", -1661992959, -1e20},
      {"18446744073709551615", -1, 18446744073709551615.0}, {"18446744073709551621", 5, 18446744073709551621.0},
      {"123456789012345678901234567890", 1312754386, 123456789012345678901234567890.0},
      {"-1234567890123456789012345678.90e2", -1312754386, -123456789012345678901234567890.0},
      {"12345678901234567890123e9", 1969630720, 12345678901234567890123e9}, {"1e31", INT32_MIN, 1e31},
      {"1e32", 0, 1e32}, {"3e40", 0, 3e40},
      {"9223372036854775808", 0, 9223372036854775808.0}, {"1e400", 0, 0}, {"-1e400", 0, 0},
      {"1e-400", 0, 0}, {"1e99999999999999999999", 0, 0}, {"0e99999999999999999999", 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToInteger(c.text), c.integer) << c.text;
    EXPECT_EQ(TextToFloat(c.text), c.floating) << c.text;
  }
  EXPECT_FALSE(std::signbit(TextToFloat("-0")));
}

TEST(TextConversionNumber, MegabyteNumbersStayDefined) {
  const std::string zeros(size_t{1} << 20, '0');
  const std::vector<NumberCase> cases = {
      {std::string(zeros.size(), '9'), -1, 0}, {zeros + "42", 42, 42}, {"0." + zeros + "1", 0, 0},
      {"1" + zeros + "e-1048576", 1, 1}, {zeros + "x", 0, 0}, {std::string(zeros.size(), ' '), 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToInteger(c.text), c.integer) << c.text.size();
    EXPECT_EQ(TextToFloat(c.text), c.floating) << c.text.size();
  }
}

}  // namespace
}  // namespace quarvel
