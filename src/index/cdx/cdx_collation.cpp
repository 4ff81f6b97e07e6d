// GENERAL collation keys.
#include "index/cdx/cdx_collation.h"

#include <array>

namespace dbase {

namespace {

// Weight of every Windows-1252 byte: a-z as A-Z; accented letters as their base letter.
std::array<char, 256> MakeWeights() {
  std::array<char, 256> w{};
  for (int b = 0; b < 256; ++b) w[static_cast<size_t>(b)] = static_cast<char>(b);
  for (int b = 'a'; b <= 'z'; ++b) w[static_cast<size_t>(b)] = static_cast<char>(b - 'a' + 'A');
  const struct {
    unsigned char from;
    unsigned char to;
    char base;
  } ranges[] = {{0xC0, 0xC5, 'A'}, {0xE0, 0xE5, 'A'}, {0xC7, 0xC7, 'C'}, {0xE7, 0xE7, 'C'}, {0xC8, 0xCB, 'E'},
                {0xE8, 0xEB, 'E'}, {0xCC, 0xCF, 'I'}, {0xEC, 0xEF, 'I'}, {0xD1, 0xD1, 'N'}, {0xF1, 0xF1, 'N'},
                {0xD2, 0xD6, 'O'}, {0xF2, 0xF6, 'O'}, {0xD8, 0xD8, 'O'}, {0xF8, 0xF8, 'O'}, {0xD9, 0xDC, 'U'},
                {0xF9, 0xFC, 'U'}, {0xDD, 0xDD, 'Y'}, {0xFD, 0xFD, 'Y'}, {0xFF, 0xFF, 'Y'}, {0x8A, 0x8A, 'S'},
                {0x9A, 0x9A, 'S'}, {0x8E, 0x8E, 'Z'}, {0x9E, 0x9E, 'Z'}};
  for (const auto& r : ranges) {
    for (int b = r.from; b <= r.to; ++b) w[static_cast<size_t>(b)] = r.base;
  }
  return w;
}

}  // namespace

std::string GeneralCollationKey(std::string_view text) {
  static const std::array<char, 256> weights = MakeWeights();
  std::string key;
  key.reserve(text.size());
  for (unsigned char c : text) key.push_back(weights[c]);
  return key;
}

}  // namespace dbase
