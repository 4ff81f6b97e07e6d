// Text value conversions of the product import: CSV line splitting and the readers of dates,
// logicals and numbers. Numbers are read by hand and std::from_chars, never through the
// user's locale, and without allocating: they run once per value of large imports.
#include "exchange/text_conversion.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "config/text_case.h"
#include "dataset/date_time.h"
#include "platform/ascii_case.h"

namespace quarvel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// A text that is, blanks around it aside, a decimal number: optional sign, digits with an
// optional "." and more digits (either group may be empty), optional exponent with at least
// one digit.
struct DecimalText {
  bool valid = false;
  bool negative = false;
  std::string_view int_digits;
  std::string_view frac_digits;
  // Saturated far beyond any meaningful scale, so that a run of exponent digits cannot
  // overflow and sums with digit counts stay within 64 bits.
  int64_t exponent = 0;
  // The number without a leading "+", as std::from_chars accepts it.
  std::string_view unsigned_plus;
};

constexpr int64_t kExponentLimit = int64_t{1} << 50;

std::string_view DigitRun(std::string_view text, size_t& pos) {
  size_t start = pos;
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return text.substr(start, pos - start);
}

DecimalText ReadDecimal(std::string_view raw) {
  DecimalText result;
  std::string_view text = TrimBlanks(raw);
  if (text.empty()) return result;
  size_t pos = 0;
  if (text[pos] == '+' || text[pos] == '-') {
    result.negative = text[pos] == '-';
    ++pos;
  }
  result.unsigned_plus = text.substr(text[0] == '+' ? 1 : 0);
  result.int_digits = DigitRun(text, pos);
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    result.frac_digits = DigitRun(text, pos);
  }
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    bool exponent_negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      exponent_negative = text[pos] == '-';
      ++pos;
    }
    std::string_view digits = DigitRun(text, pos);
    if (digits.empty()) return result;
    int64_t exponent = 0;
    for (char c : digits) {
      exponent = exponent * 10 + (c - '0');
      if (exponent > kExponentLimit) {
        exponent = kExponentLimit;
        break;
      }
    }
    result.exponent = exponent_negative ? -exponent : exponent;
  }
  result.valid = pos == text.size();
  return result;
}

bool HasMantissaDigits(const DecimalText& number) {
  return !number.int_digits.empty() || !number.frac_digits.empty();
}

}  // namespace

std::vector<std::string> SplitCsvLine(std::string_view line) {
  std::vector<std::string> values;
  size_t pos = 0;  // start of the rest of the line
  while (pos < line.size()) {
    size_t comma;
    size_t closing_quote = line[pos] == '"' ? line.find('"', pos + 1) : std::string_view::npos;
    if (closing_quote != std::string_view::npos) {
      comma = line.find(',', closing_quote + 1);
    } else {
      // An unclosed quote leaves no quote in the rest of the line, so this scan to the end
      // happens at most once per line: splitting stays linear.
      comma = line.find(',', pos);
    }
    std::string_view value;
    if (comma != std::string_view::npos) {
      value = line.substr(pos, comma - pos);
      pos = comma + 1;
    } else {
      value = line.substr(pos);
      pos = line.size();
    }
    value = TrimBlanks(value);
    if (!value.empty() && value.front() == '"' && value.back() == '"') {
      value = value.size() == 1 ? std::string_view() : value.substr(1, value.size() - 2);
    }
    values.emplace_back(value);
  }
  return values;
}

DateTime TextToDate(std::string_view text) {
  // The first eight digits, right-aligned behind "0"s when fewer.
  char collected[8];
  int count = 0;
  for (char c : text) {
    if (!IsDigit(c)) continue;
    collected[count++] = c;
    if (count == 8) break;
  }
  char digits[8];
  for (int i = 0; i < 8; ++i) {
    int from = i - (8 - count);
    digits[i] = from >= 0 ? collected[from] : '0';
  }
  auto number = [&digits](int first, int length) {
    int value = 0;
    for (int i = first; i < first + length; ++i) value = value * 10 + (digits[i] - '0');
    return value;
  };
  int year = number(0, 4);
  int month = number(4, 2);
  int day = number(6, 2);

  if (year < 1899) year = 1899;
  if (month == 0 || month > 12) month = 12;
  switch (month) {
    case 2:
      // 29 February is kept in leap years: it is a date, and cutting it would change the data.
      if (day == 0 || day > (IsLeapYear(year) ? 29 : 28)) day = 28;
      break;
    case 4:
    case 6:
    case 9:
    case 11:
      if (day == 0 || day > 30) day = 30;
      break;
    default:
      if (day == 0 || day > 31) day = 30;
      break;
  }
  // Every clamped date lies within years 1899..9999, so it always encodes.
  return EncodeDate(year, month, day).value_or(DateTime{});
}

bool TextToBoolean(std::string_view text) {
  if (text.empty()) return false;
  const char first = dbase::platform::UpperAscii(text.front());
  return first == 'T' || first == 'V' || first == '1';
}

int32_t TextToInteger(std::string_view text) {
  DecimalText number = ReadDecimal(text);
  if (!number.valid) return 0;

  // The whole part is the first int_digits + exponent digits of the mantissa's digits, with
  // "0"s appended when the exponent reaches past them.
  const int64_t int_length = static_cast<int64_t>(number.int_digits.size());
  const int64_t digit_count = int_length + static_cast<int64_t>(number.frac_digits.size());
  const int64_t whole_length = int_length + number.exponent;
  if (whole_length <= 0) return 0;
  auto digit_at = [&](int64_t i) -> int {
    if (i < int_length) return number.int_digits[static_cast<size_t>(i)] - '0';
    if (i < digit_count) return number.frac_digits[static_cast<size_t>(i - int_length)] - '0';
    return 0;
  };

  // The low 32 bits of the whole number, by arithmetic modulo 2^32 (unsigned wrap-around). Each
  // "0" appended by the exponent multiplies by 10 = 2 * 5: after 32 of them the low 32 bits are
  // all zero, so the loop never runs longer than the text.
  const int64_t present = std::min(whole_length, digit_count);
  if (whole_length - present >= 32) return 0;
  uint32_t low = 0;
  for (int64_t i = 0; i < whole_length; ++i) low = low * 10 + static_cast<uint32_t>(digit_at(i));
  if (number.negative) low = 0u - low;
  return static_cast<int32_t>(low);
}

double TextToFloat(std::string_view text) {
  DecimalText number = ReadDecimal(text);
  // "", ".", "+", "-.e5" and the like carry no digits: their value would be 0 anyway.
  if (!number.valid || !HasMantissaDigits(number)) return 0;
  double value = 0;
  const char* first = number.unsigned_plus.data();
  const char* last = first + number.unsigned_plus.size();
  auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end != last) return 0;
  // Adding 0 turns "-0" into 0, so that no field shows a negative zero.
  return value + 0.0;
}

}  // namespace quarvel
