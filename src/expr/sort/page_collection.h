// PageCollection: one run of sorted keys written out of the trie, kept in memory in pages of
// 16,384 bytes with front compression, and read back one entry at a time as the run's head.
//
// Entry format: type marker (1 byte, never 0), full key length (1 byte, record number included),
// suffix length n (1 byte), then the last n bytes of the key; the bytes before them are those of
// the previous entry. A zero byte after the last entry ends a page's data. The first entry of a
// page is written whole, so each page decodes on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "expr/sort/sort_key.h"

namespace dbase {

class PageCollection {
 public:
  static constexpr int kPageSize = 16384;

  PageCollection() = default;
  PageCollection(const PageCollection&) = delete;
  PageCollection& operator=(const PageCollection&) = delete;

  // Writing. `shared` is the number of leading bytes the key has in common with the previous
  // entry appended (0 for the first); `length` is 4 to kSortMaxStoredLength.
  void Append(uint8_t marker, const uint8_t* key, int length, int shared);
  // Ends writing and positions the run at its first entry.
  void FinishWriting();

  // Reading.
  bool exhausted() const { return position_ < 0; }
  const uint8_t* head() const { return head_; }
  int head_length() const { return head_length_; }
  uint8_t head_marker() const { return head_marker_; }
  // The first 8 bytes of the head as a big-endian number (zero past the end of a short head).
  uint64_t head_prefix() const { return head_prefix_; }
  // Moves to the next entry, freeing each page once it has been read.
  void Advance();

  int64_t entries() const { return entries_; }
  // Bytes of page storage currently held.
  size_t bytes_held() const;

 private:
  void NewPage();

  std::vector<std::unique_ptr<uint8_t[]>> pages_;
  size_t page_index_ = 0;
  int position_ = -1;  // in the current page; -1 when exhausted or not yet written
  int64_t entries_ = 0;
  uint8_t head_[kSortKeyBuffer] = {};
  int head_length_ = 0;
  uint64_t head_prefix_ = 0;
  uint8_t head_marker_ = 0;
  bool writing_ = true;
};

}  // namespace dbase
