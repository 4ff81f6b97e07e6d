// Decimal rounding on the shortest representation of a double.
#include "expr/number_format.h"

#include <charconv>
#include <cmath>

namespace dbase {

std::string FormatRounded(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (!std::isfinite(value)) return std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
  char buf[512];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
  std::string digits(buf, res.ptr);  // e.g. "2.675", "1200", "0.000125"
  size_t point = digits.find('.');
  std::string whole = digits.substr(0, point);
  std::string fraction = point == std::string::npos ? std::string() : digits.substr(point + 1);
  const auto keep = static_cast<size_t>(decimals);
  bool round_up = fraction.size() > keep && fraction[keep] >= '5';
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
  bool zero = whole.find_first_not_of('0') == std::string::npos && fraction.find_first_not_of('0') == std::string::npos;
  std::string text = (value < 0 && !zero) ? "-" : "";
  text += whole;
  if (keep > 0) {
    text += '.';
    text += fraction;
  }
  return text;
}

}  // namespace dbase
