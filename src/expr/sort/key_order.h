// KeyOrder: the one order of stored sort keys, shared by the trie and the merge of runs.
// Key parts compare position by position (text bytes by collation weight, the byte itself
// breaking ties between bytes of equal weight), a key that is a proper prefix of another comes
// first, and equal key parts are ordered by record number. A descending order is the exact
// reverse.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "expr/sort/sort_key.h"

namespace dbase {

class KeyOrder {
 public:
  KeyOrder() { Configure(nullptr, true); }

  // `collation` (256 weights) applies to key bytes only; nullptr for plain byte order.
  void Configure(const uint8_t* collation, bool ascending) {
    identity_ = collation == nullptr;
    ascending_ = ascending;
    for (int b = 0; b < 256; ++b) {
      const uint16_t weight = identity_ ? 0 : collation[b];
      rank_[static_cast<size_t>(b)] = static_cast<uint16_t>((weight << 8) | b);
    }
  }

  bool ascending() const { return ascending_; }
  // Whether key bytes compare as plain unsigned bytes.
  bool byte_order() const { return identity_; }

  // Rank of a key byte: weight in the high byte, the byte in the low byte.
  uint16_t ByteRank(uint8_t b) const { return rank_[b]; }

  // Three-way comparison of two stored keys (key part + record number) in this order's
  // direction.
  int Compare(const uint8_t* a, int a_length, const uint8_t* b, int b_length) const {
    const int c = CompareAscending(a, a_length, b, b_length);
    return ascending_ ? c : -c;
  }

  // Whether two stored keys have equal key parts (record numbers not counted).
  static bool SameKey(const uint8_t* a, int a_length, const uint8_t* b, int b_length) {
    return a_length == b_length &&
           std::memcmp(a, b, static_cast<size_t>(a_length - kSortRecordBytes)) == 0;
  }

 private:
  int CompareAscending(const uint8_t* a, int a_length, const uint8_t* b, int b_length) const {
    const int a_key = a_length - kSortRecordBytes;
    const int b_key = b_length - kSortRecordBytes;
    const int common = a_key < b_key ? a_key : b_key;
    if (identity_) {
      const int c = std::memcmp(a, b, static_cast<size_t>(common));
      if (c != 0) return c < 0 ? -1 : 1;
    } else {
      for (int i = 0; i < common; ++i) {
        const uint16_t ra = rank_[a[i]];
        const uint16_t rb = rank_[b[i]];
        if (ra != rb) return ra < rb ? -1 : 1;
      }
    }
    if (a_key != b_key) return a_key < b_key ? -1 : 1;
    const int c = std::memcmp(a + a_key, b + b_key, kSortRecordBytes);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }

  std::array<uint16_t, 256> rank_{};
  bool identity_ = true;
  bool ascending_ = true;
};

}  // namespace dbase
