// Locale-free decimal parsing and fixed-point formatting.
#include "dbf/number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace dbase {

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
  long double value = 0;
  auto res = std::from_chars(text.data() + b, text.data() + e, value, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != text.data() + e) return std::nullopt;
  return negative ? -value : value;
}

std::string FormatFixed(long double value, int width, int decimals) {
  if (!std::isfinite(value)) return std::string(static_cast<size_t>(width) + 1, '*');
  if (decimals < 0) decimals = 0;
  if (value == 0) value = 0;  // no "-0"
  char buf[128];
  char* end = buf;
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return std::string(static_cast<size_t>(width) + 1, '*');
  end = res.ptr;
  std::string text(buf, end);
  if (text.size() < static_cast<size_t>(width)) text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
  return text;
}

}  // namespace dbase
