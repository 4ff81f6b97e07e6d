// ParseDecimal against the C library's strtold on numeric field texts of every shape: plain
// digits take a quick path, and both paths must give the very same long double.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>

#include "dbf/number_text.h"

namespace dbase {
namespace {

// strtold in the C locale over the whole text, or nothing when it stops early.
std::optional<long double> Reference(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const long double v = std::strtold(begin, &end);
  if (end == begin) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return std::nullopt;
  return v;
}

TEST(DecimalParseTest, AgreesWithStrtoldOnFieldTexts) {
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
  std::mt19937_64 rng(7);
  const std::string digits = "0123456789";
  for (int i = 0; i < 200000; ++i) {
    std::string text(rng() % 3, ' ');
    if (rng() % 4 == 0) text += rng() % 2 ? '-' : '+';
    const int whole = static_cast<int>(rng() % 22);
    for (int d = 0; d < whole; ++d) text += digits[rng() % 10];
    if (rng() % 2) {
      text += '.';
      const int fraction = static_cast<int>(rng() % 21);
      for (int d = 0; d < fraction; ++d) text += digits[rng() % 10];
    }
    text.append(rng() % 3, ' ');
    const std::optional<long double> got = ParseDecimal(text);
    const std::optional<long double> want = Reference(text);
    ASSERT_EQ(got.has_value(), want.has_value()) << "'" << text << "'";
    if (want) {
      ASSERT_EQ(*got, *want) << "'" << text << "'";
      ASSERT_EQ(std::signbit(*got), std::signbit(*want)) << "'" << text << "'";
    }
  }
}

TEST(DecimalParseTest, EdgeShapes) {
  struct Case {
    const char* text;
    std::optional<long double> value;
  };
  const Case cases[] = {
      {"     5", 5.0L},          {"  -0.5", -0.5L},       {".50", 0.5L},
      {"1.", 1.0L},              {"+3", 3.0L},            {"-0", -0.0L},
      {"1e3", 1000.0L},          {"9999999999999999999", 9999999999999999999.0L},
      {"99999999999999999999", 99999999999999999999.0L},  // 20 digits: the general path
      {"", std::nullopt},        {"   ", std::nullopt},    {".", std::nullopt},
      {"-", std::nullopt},       {"1.2.3", std::nullopt}, {"12a", std::nullopt},
      {"inf", std::nullopt},     {"nan", std::nullopt},   {"--1", std::nullopt},
      {"1 2", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<long double> got = ParseDecimal(c.text);
    ASSERT_EQ(got.has_value(), c.value.has_value()) << "'" << c.text << "'";
    if (c.value) {
      EXPECT_EQ(*got, *c.value) << "'" << c.text << "'";
    }
  }
}

}  // namespace
}  // namespace dbase
