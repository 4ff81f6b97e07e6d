// Writing and reading the compressed pages of a sort run.
#include "expr/sort/page_collection.h"

#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>

namespace dbase {

void PageCollection::NewPage() {
  pages_.push_back(std::make_unique_for_overwrite<uint8_t[]>(kPageSize));
  page_index_ = pages_.size() - 1;
  position_ = 0;
  pages_.back()[0] = 0;
}

void PageCollection::Append(uint8_t marker, const uint8_t* key, int length, int shared) {
  if (!writing_ || marker == 0 || length < kSortRecordBytes || length > kSortMaxStoredLength ||
      shared < 0 || shared > length) {
    throw std::logic_error("Invalid sort run entry (length " + std::to_string(length) + ", shared " +
                           std::to_string(shared) + ")");
  }
  // Keep one byte for the terminating zero.
  if (pages_.empty() || position_ + length + 3 > kPageSize - 1) {
    NewPage();
    shared = 0;
  }
  uint8_t* page = pages_[page_index_].get();
  const int n = length - shared;
  page[position_] = marker;
  page[position_ + 1] = static_cast<uint8_t>(length);
  page[position_ + 2] = static_cast<uint8_t>(n);
  std::memcpy(page + position_ + 3, key + shared, static_cast<size_t>(n));
  position_ += 3 + n;
  page[position_] = 0;  // the end of the page's data, until another entry follows
  ++entries_;
}

void PageCollection::FinishWriting() {
  writing_ = false;
  page_index_ = 0;
  position_ = pages_.empty() ? -1 : 0;
  Advance();
}

void PageCollection::Advance() {
  if (position_ < 0) return;
  const uint8_t* page = pages_[page_index_].get();
  if (position_ >= kPageSize - 1 || page[position_] == 0) {
    pages_[page_index_].reset();
    if (++page_index_ >= pages_.size()) {
      position_ = -1;
      head_length_ = 0;
      return;
    }
    page = pages_[page_index_].get();
    position_ = 0;
  }
  const int length = page[position_ + 1];
  const int n = page[position_ + 2];
  head_marker_ = page[position_];
  std::memcpy(head_ + (length - n), page + position_ + 3, static_cast<size_t>(n));
  head_length_ = length;
  position_ += 3 + n;
  uint64_t prefix;
  std::memcpy(&prefix, head_, sizeof prefix);
  if constexpr (std::endian::native == std::endian::little) prefix = __builtin_bswap64(prefix);
  // Bytes past a short head's end are zero, so that equal short heads have equal prefixes.
  if (length < 8) prefix &= ~uint64_t{0} << (64 - 8 * length);
  head_prefix_ = prefix;
}

size_t PageCollection::bytes_held() const {
  size_t total = 0;
  for (const auto& page : pages_) {
    if (page) total += kPageSize;
  }
  return total;
}

}  // namespace dbase
