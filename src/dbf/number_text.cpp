// Locale-free decimal parsing and fixed-point formatting.
#include "dbf/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace dbase {

namespace {

// Room for the fixed form of any long double: up to 4933 digits before the point, or about 4950
// after it for the smallest.
constexpr size_t kFixedDigits = 5200;

// The shortest fixed-point text of |value| that reads back as the same number. A value that is
// exactly a double (every number that came through one) takes the double's shortest form: the
// extra bits of a long double would add digits nobody wrote.
std::string ShortestFixed(long double value) {
  char buf[kFixedDigits];
  const long double magnitude = std::fabs(value);
  const double as_double = static_cast<double>(magnitude);
  std::to_chars_result res = static_cast<long double>(as_double) == magnitude
                                 ? std::to_chars(buf, buf + sizeof buf, as_double, std::chars_format::fixed)
                                 : std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed);
  return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
}

}  // namespace

// The digits make an integer that a long double holds exactly, and one division by an exact
// power of ten rounds once, as the general conversion does.
long double ParsePlainDecimal(std::string_view text, bool* plain) {
  static constexpr long double kPowers[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                            1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                            1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L};
  *plain = false;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end && *p == ' ') ++p;
  while (end > p && end[-1] == ' ') --end;
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  uint64_t mantissa = 0;
  int digits = 0;
  int fraction = -1;  // digits after the point; -1 before it
  for (; p < end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - static_cast<unsigned>('0');
    if (digit <= 9) {
      if (++digits > 19) return 0;
      mantissa = mantissa * 10 + digit;
      fraction += fraction >= 0;
    } else if (*p == '.' && fraction < 0) {
      fraction = 0;
    } else {
      return 0;
    }
  }
  if (digits == 0) return 0;
  long double value = mantissa < (uint64_t{1} << 63) ? static_cast<long double>(static_cast<int64_t>(mantissa))
                                                      : static_cast<long double>(mantissa);
  if (fraction > 0) value /= kPowers[fraction];
  *plain = true;
  return negative ? -value : value;
}

std::optional<long double> ParseDecimal(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  if (b == e) return std::nullopt;
  bool negative = false;
  if (text[b] == '+' || text[b] == '-') {
    negative = text[b] == '-';
    ++b;
  }
  if (b == e || text[b] == '+' || text[b] == '-') return std::nullopt;
  // from_chars would accept "inf" and "nan"; a table field never means those.
  char c = text[b];
  if (!((c >= '0' && c <= '9') || c == '.')) return std::nullopt;
  bool plain = false;
  long double value = ParsePlainDecimal(text, &plain);
  if (plain) return value;
  auto res = std::from_chars(text.data() + b, text.data() + e, value, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != text.data() + e) return std::nullopt;
  return negative ? -value : value;
}

std::string RoundedDecimal(long double value, int decimals) {
  if (decimals < 0) decimals = 0;
  const std::string digits = ShortestFixed(value);  // e.g. "2.675", "1200", "0.000125"
  const size_t point = digits.find('.');
  std::string whole = digits.substr(0, point);
  std::string fraction = point == std::string::npos ? std::string() : digits.substr(point + 1);
  const auto keep = static_cast<size_t>(decimals);
  // The shortest form has no trailing zeros, so a 5 in the first dropped place is at least half.
  const bool round_up = fraction.size() > keep && fraction[keep] >= '5';
  fraction.resize(keep, '0');
  if (round_up) {
    // Carry from the last kept digit leftwards, into the whole part when needed.
    std::string all = whole + fraction;
    size_t i = all.size();
    while (i > 0) {
      --i;
      if (all[i] == '9') {
        all[i] = '0';
        if (i == 0) all.insert(all.begin(), '1');
      } else {
        ++all[i];
        break;
      }
    }
    whole = all.substr(0, all.size() - keep);
    fraction = all.substr(all.size() - keep);
  }
  const bool zero = whole.find_first_not_of('0') == std::string::npos &&
                    fraction.find_first_not_of('0') == std::string::npos;
  std::string text = std::signbit(value) && !zero ? "-" : "";
  text += whole;
  if (keep > 0) {
    text += '.';
    text += fraction;
  }
  return text;
}

std::string FormatFixed(long double value, int width, int decimals) {
  if (!std::isfinite(value)) return std::string(static_cast<size_t>(width) + 1, '*');
  std::string text = RoundedDecimal(value, decimals);
  if (text.size() < static_cast<size_t>(width)) text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
  return text;
}

}  // namespace dbase
