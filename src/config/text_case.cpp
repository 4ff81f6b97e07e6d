// UpperUtf8 and SameNameIgnoringCase. UpperUtf8: ASCII and Latin-1 letters (U+00E0-U+00FE except U+00F7) to upper case.
#include "config/text_case.h"

namespace quarvel {

std::string UpperUtf8(const std::string& text) {
  std::string upper = text;
  for (std::size_t i = 0; i < upper.size(); ++i) {
    const auto c = static_cast<unsigned char>(upper[i]);
    if (c >= 'a' && c <= 'z') {
      upper[i] = static_cast<char>(c - 'a' + 'A');
    } else if (c == 0xC3 && i + 1 < upper.size()) {
      const auto next = static_cast<unsigned char>(upper[i + 1]);
      // U+00E0..U+00FE are C3 A0..C3 BE; their capitals are 0x20 lower; U+00F7 is a sign.
      if (next >= 0xA0 && next <= 0xBE && next != 0xB7) upper[i + 1] = static_cast<char>(next - 0x20);
      ++i;
    }
  }
  return upper;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return UpperUtf8(std::string(TrimBlanks(a))) == UpperUtf8(std::string(TrimBlanks(b)));
}

}  // namespace quarvel
