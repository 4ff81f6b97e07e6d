// HugeSet: a growable set of bits indexed by record number, kept in zero-filled chunks of 16,384
// bytes (131,072 bits) allocated on demand. Bit n lies in chunk n / 131072, byte (n / 8) % 16384,
// mask 1 << (n % 8). The table filter keeps in it the records that pass its expression.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace dbase {

class HugeSet {
 public:
  static constexpr int kChunkBytes = 16384;
  static constexpr int32_t kChunkBits = kChunkBytes * 8;
  // Modes of Set.
  static constexpr int kClearBit = 0;
  static constexpr int kSetBit = 1;
  static constexpr int kToggleBit = 2;

  HugeSet() = default;
  HugeSet(const HugeSet&) = delete;
  HugeSet& operator=(const HugeSet&) = delete;

  // Clears (mode 0), sets (1) or toggles (2) bit n and records n as touched. A negative n or
  // another mode raises std::out_of_range / std::invalid_argument.
  void Set(int32_t n, int mode = kSetBit);
  // False for a negative n and for any n above the highest index touched.
  bool Test(int32_t n) const;
  // Every bit cleared, nothing touched; the chunks are kept, zero-filled.
  void Clear();
  // The highest index touched since construction or the last Clear; -1 when none.
  int32_t highest() const { return highest_; }

  // The lowest set bit at or above `from` (a negative `from` counts as 0); -1 when none.
  int32_t NextSet(int32_t from) const;
  // The highest set bit at or below `from`; -1 when none.
  int32_t PreviousSet(int32_t from) const;

  // Chunks currently allocated.
  int chunk_count() const;

 private:
  std::vector<std::unique_ptr<uint8_t[]>> chunks_;  // null until a set or toggle needs one
  int32_t highest_ = -1;
};

}  // namespace dbase
