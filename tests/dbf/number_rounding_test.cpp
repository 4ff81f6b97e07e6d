// Numbers written into N and F fields: rounded half away from zero on the decimal the user gave,
// never a negative zero, checked against a decimal rounding done on the text itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "dbf/dbase_fld.h"
#include "dbf/errors.h"
#include "dbf/number_text.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::TempDir;

// Rounds the decimal text [-]digits[.digits] to `decimals` places, half away from zero, by
// digit arithmetic alone; "-" is dropped from a zero result.
std::string RoundText(const std::string& text, int decimals) {
  const bool negative = text[0] == '-';
  const std::string body = negative ? text.substr(1) : text;
  const size_t point = body.find('.');
  std::string whole = body.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : body.substr(point + 1);
  const size_t keep = static_cast<size_t>(decimals);
  const bool up = fraction.size() > keep && fraction[keep] >= '5';
  fraction.resize(keep, '0');
  std::string all = whole + fraction;
  for (size_t i = all.size(); up && i-- > 0;) {
    if (all[i] != '9') {
      ++all[i];
      break;
    }
    all[i] = '0';
    if (i == 0) all.insert(all.begin(), '1');
  }
  std::string digits = all.substr(0, all.size() - keep);
  while (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
  std::string out = digits + (keep > 0 ? "." + all.substr(all.size() - keep) : "");
  const bool zero = out.find_first_not_of("0.") == std::string::npos;
  return (negative && !zero ? "-" : "") + out;
}

class NumberRoundingTest : public ::testing::Test {
 protected:
  NumberRoundingTest() : path_(dir_.File("NUMEROS.DBF")) {}
  // Opens a table with one field of the given type, length and decimals.
  dBaseFld& Field(char type, int length, int decimals) {
    table_.reset();
    testsupport::WriteFileBytes(path_, testsupport::TableBytes(0x03, {{"V", type, length, decimals}}, {}));
    table_ = std::make_unique<dBaseFld>(path_, "", true, false);
    table_->Blank();
    return *table_;
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<dBaseFld> table_;
};

TEST_F(NumberRoundingTest, HalvesGoAwayFromZeroAndZeroHasNoSign) {
  struct Case {
    const char* given;
    int length;
    int decimals;
    const char* stored;
  };
  const Case cases[] = {
      {"2.5", 5, 0, "    3"},      {"-2.5", 5, 0, "   -3"},    {"0.125", 6, 2, "  0.13"},
      {"2.675", 6, 2, "  2.68"},    {"1.005", 6, 2, "  1.01"},   {"-0.001", 6, 2, "  0.00"},
      {"-0.4", 5, 0, "    0"},      {"-0.5", 5, 0, "   -1"},     {"-0.005", 6, 2, " -0.01"},
      {"-0", 4, 1, " 0.0"},         {"0.49999", 3, 0, "  0"},    {"9.995", 5, 2, "10.00"},
      {"1e-7", 8, 6, "0.000000"},   {"5e-7", 8, 6, "0.000001"}, {"123456789012345.5", 16, 0, " 123456789012346"},
      {"1.15", 4, 1, " 1.2"},       {"1.25", 4, 1, " 1.3"},      {"-1.35", 5, 1, " -1.4"},
  };
  for (char type : {'N', 'F'}) {
    for (const Case& c : cases) {
      dBaseFld& t = Field(type, c.length, c.decimals);
      // Through the text a user types and through the number a program computes.
      t.StringPut(1, c.given);
      EXPECT_EQ(t.FieldGet(1), c.stored) << type << " " << c.given;
      t.NumberPut(1, std::strtod(c.given, nullptr));
      EXPECT_EQ(t.FieldGet(1), c.stored) << type << " " << c.given << " as a double";
    }
  }
  dBaseFld& t = Field('N', 6, 2);
  try {
    t.StringPut(1, "999.995");
    FAIL() << "1000.00 does not fit six places";
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()), "numeric value too big in field V - 1000.00");
  }
}

// Random decimals of up to 15 significant digits (what a double holds exactly in decimal) put
// into fields of every number of decimals, as text and as a double.
TEST_F(NumberRoundingTest, RandomDecimalsRoundAsTheirText) {
  std::mt19937 random(20260101);
  std::uniform_int_distribution<int> digit(0, 9), length(0, 7), decimals_of(0, 6);
  for (int i = 0; i < 2000; ++i) {
    std::string whole, fraction;
    const int whole_digits = length(random), fraction_digits = length(random);
    for (int k = 0; k < whole_digits; ++k) whole += static_cast<char>('0' + digit(random));
    for (int k = 0; k < fraction_digits; ++k) fraction += static_cast<char>('0' + digit(random));
    // Halves are what this is about: make many of them.
    if (!fraction.empty() && i % 3 == 0) fraction.back() = '5';
    const std::string text = (i % 2 ? "-" : "") + (whole.empty() ? "0" : whole) +
                             (fraction.empty() ? "" : "." + fraction);
    const int decimals = decimals_of(random);
    const std::string expected = RoundText(text, decimals);
    EXPECT_EQ(RoundedDecimal(*ParseDecimal(text), decimals), expected) << text << " to " << decimals;
    EXPECT_EQ(RoundedDecimal(std::strtod(text.c_str(), nullptr), decimals), expected) << text << " as a double";
    if (i % 20 == 0) {
      dBaseFld& t = Field(i % 40 == 0 ? 'F' : 'N', 20, decimals);
      t.StringPut(1, text);
      EXPECT_EQ(t.FieldGet(1), std::string(20 - expected.size(), ' ') + expected) << text;
    }
  }
}

}  // namespace
}  // namespace dbase
