// KeyChunk: the keys of one sort run, gathered in a fixed work buffer and sorted there in place.
// Stored keys (key part, then the 4-byte record number) go one after another from the front of
// the buffer and one 16-byte entry per key from its back, so a run holds as many keys as their
// sizes allow and nothing is allocated per key. The sort is a most-significant-digit radix sort
// of the entries over 8 key bytes at a time (4 collation ranks with a collation table), in the
// one order of KeyOrder: ascending, key bytes first, a key before the longer keys it begins,
// then the record number. Keys of a fixed length of 8 bytes or less (numbers) live in their
// entries alone, keys of 4 bytes or less (dates) in one 64-bit word with their record number;
// these take half the buffer and are sorted least significant byte first between its halves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "expr/sort/key_order.h"

namespace dbase {

class KeyChunk {
 public:
  // The work buffer: as much memory as 32 blocks of 40,960 bytes.
  static constexpr size_t kBlockBytes = 40960;
  static constexpr int kBlocks = 32;
  static constexpr size_t kBytes = kBlockBytes * kBlocks;

  KeyChunk() = default;
  KeyChunk(const KeyChunk&) = delete;
  KeyChunk& operator=(const KeyChunk&) = delete;

  // Keys whose key part always has `key_length` bytes (1 to 8) are kept in their entries; 0 (the
  // default) for keys of any length. Set before the first key.
  void set_fixed_key_length(int key_length) { fixed_ = key_length; }

  // Whether a stored key of `length` bytes still fits (the buffer is allocated on first use).
  bool Fits(int length) const {
    // Keys kept in their entries take half the buffer: the other half is the second array of
    // their radix sort.
    if (fixed_ != 0) return 2 * (count_ + 1) * EntrySize() <= kBytes;
    const size_t arena = fixed_ != 0 ? 0 : static_cast<size_t>(length);
    return count_ == 0 || front_ + arena + EntrySize() <= EntriesOffset();
  }
  // Adds a stored key of `length` bytes (4 to 244), of which the last 4 are the record number.
  // Requires Fits(length).
  void Add(const uint8_t* stored, int length);

  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  bool allocated() const { return buffer_ != nullptr; }

  // Sorts the keys ascending in `order`'s byte order (its direction is ignored).
  void Sort(const KeyOrder& order);
  // Stored key `i` (0-based) in sorted order and its length; a key kept in its entry is
  // written into `scratch` (kSortKeyBuffer bytes) first.
  const uint8_t* Key(size_t i, int* length, uint8_t* scratch) const;

  // Forgets the keys; the buffer is kept for the next run.
  void Clear() {
    front_ = 0;
    count_ = 0;
  }
  // Frees the buffer.
  void Release() {
    Clear();
    buffer_.reset();
  }

 private:
  // One key: its sort window at the depth being sorted, where its stored bytes lie, its lengths.
  struct Entry {
    uint64_t window;     // key bytes (or collation ranks) from the depth on, most significant first
    uint32_t offset;     // of the stored key in the buffer; the record number of a fixed key
    uint8_t length;      // stored length, record number included
    uint8_t key_length;  // key part only
    uint8_t tail;        // key bytes left at the depth when they all fit the window; kMore if not
    uint8_t unused;
  };
  static_assert(sizeof(Entry) == 16, "entries are 16 bytes");
  static constexpr uint8_t kMore = 0xFF;
  // Sort positions of an entry: the 8 window bytes, most significant first, then the tail.
  static constexpr int kPositions = 9;

  // Keys of 4 bytes or less and their record numbers make one word each.
  bool word_keys() const { return fixed_ != 0 && fixed_ <= 4; }
  size_t EntrySize() const { return word_keys() ? sizeof(uint64_t) : sizeof(Entry); }
  size_t EntriesOffset() const { return kBytes - count_ * EntrySize(); }
  Entry* entries() const { return reinterpret_cast<Entry*>(buffer_.get() + EntriesOffset()); }
  uint64_t* words() const { return reinterpret_cast<uint64_t*>(buffer_.get() + EntriesOffset()); }

  // Sorts `n` entries whose keys agree in their first `depth` key positions.
  void SortLevel(Entry* e, size_t n, int depth);
  // Radix sort of `n` entries agreeing in their first `position` sort positions; at the end of
  // a level, equal entries are passed on to the next level (or to the record order).
  void SortRange(Entry* e, size_t n, int depth, int position, bool records);
  // Entries whose windows and tails are all equal: the next level, or the record order.
  void ResolveEqual(Entry* e, size_t n, int depth);
  void SortRecords(Entry* e, size_t n);
  void FillWindow(Entry& e, int depth) const;
  uint32_t RecordOf(const Entry& e) const;

  std::unique_ptr<uint8_t[]> buffer_;
  size_t front_ = 0;  // end of the stored keys
  size_t count_ = 0;
  const KeyOrder* order_ = nullptr;
  int step_ = 8;      // key positions per window
  int fixed_ = 0;     // key length of keys kept in their entries; 0 when none are
};

}  // namespace dbase
