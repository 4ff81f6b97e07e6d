// HugeSet: bit access and the scans for the next and previous set bit.
#include "expr/sort/huge_set.h"

#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>

namespace dbase {

namespace {

bool WordIsZero(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word == 0;
}

}  // namespace

void HugeSet::Set(int32_t n, int mode) {
  if (n < 0) throw std::out_of_range("Record bit " + std::to_string(n) + " is negative");
  if (mode != kClearBit && mode != kSetBit && mode != kToggleBit) {
    throw std::invalid_argument("Record bit mode " + std::to_string(mode) + " is not 0, 1 or 2");
  }
  const size_t chunk = static_cast<size_t>(n / kChunkBits);
  const int offset = (n % kChunkBits) / 8;
  const uint8_t mask = static_cast<uint8_t>(1u << (n % 8));
  if (n > highest_) highest_ = n;
  if (chunk >= chunks_.size() || !chunks_[chunk]) {
    if (mode == kClearBit) return;  // an absent chunk reads as zero already
    if (chunk >= chunks_.size()) chunks_.resize(chunk + 1);
    chunks_[chunk] = std::make_unique<uint8_t[]>(kChunkBytes);
  }
  uint8_t& byte = chunks_[chunk][static_cast<size_t>(offset)];
  if (mode == kClearBit) {
    byte = static_cast<uint8_t>(byte & ~mask);
  } else if (mode == kSetBit) {
    byte = static_cast<uint8_t>(byte | mask);
  } else {
    byte = static_cast<uint8_t>(byte ^ mask);
  }
}

bool HugeSet::Test(int32_t n) const {
  if (n < 0 || n > highest_) return false;
  const size_t chunk = static_cast<size_t>(n / kChunkBits);
  if (chunk >= chunks_.size() || !chunks_[chunk]) return false;
  return (chunks_[chunk][static_cast<size_t>((n % kChunkBits) / 8)] >> (n % 8)) & 1;
}

void HugeSet::Clear() {
  for (auto& chunk : chunks_) {
    if (chunk) std::memset(chunk.get(), 0, kChunkBytes);
  }
  highest_ = -1;
}

int HugeSet::chunk_count() const {
  int count = 0;
  for (const auto& chunk : chunks_) count += chunk ? 1 : 0;
  return count;
}

int32_t HugeSet::NextSet(int32_t from) const {
  if (from < 0) from = 0;
  if (from > highest_) return -1;
  int64_t byte_index = from / 8;
  // The first byte may hold bits below `from`.
  uint8_t first_mask = static_cast<uint8_t>(0xFFu << (from % 8));
  const int64_t last_byte = highest_ / 8;
  while (byte_index <= last_byte) {
    const size_t chunk = static_cast<size_t>(byte_index / kChunkBytes);
    if (chunk >= chunks_.size()) return -1;
    if (!chunks_[chunk]) {
      byte_index = static_cast<int64_t>(chunk + 1) * kChunkBytes;
      first_mask = 0xFF;
      continue;
    }
    const uint8_t* data = chunks_[chunk].get();
    int offset = static_cast<int>(byte_index % kChunkBytes);
    for (; offset < kChunkBytes; ++offset, ++byte_index) {
      if (byte_index > last_byte) return -1;
      if (first_mask == 0xFF && offset % 8 == 0 && offset + 8 <= kChunkBytes && WordIsZero(data + offset)) {
        offset += 7;
        byte_index += 7;
        continue;
      }
      const uint8_t bits = static_cast<uint8_t>(data[offset] & first_mask);
      first_mask = 0xFF;
      if (bits != 0) {
        const int64_t n = byte_index * 8 + std::countr_zero(bits);
        return n <= highest_ ? static_cast<int32_t>(n) : -1;
      }
    }
  }
  return -1;
}

int32_t HugeSet::PreviousSet(int32_t from) const {
  if (from > highest_) from = highest_;
  if (from < 0) return -1;
  int64_t byte_index = from / 8;
  // The first byte may hold bits above `from`.
  uint8_t first_mask = static_cast<uint8_t>(0xFFu >> (7 - from % 8));
  while (byte_index >= 0) {
    const size_t chunk = static_cast<size_t>(byte_index / kChunkBytes);
    if (chunk >= chunks_.size() || !chunks_[chunk]) {
      byte_index = static_cast<int64_t>(chunk) * kChunkBytes - 1;
      first_mask = 0xFF;
      continue;
    }
    const uint8_t* data = chunks_[chunk].get();
    for (int offset = static_cast<int>(byte_index % kChunkBytes); offset >= 0; --offset, --byte_index) {
      if (first_mask == 0xFF && offset % 8 == 7 && WordIsZero(data + offset - 7)) {
        offset -= 7;
        byte_index -= 7;
        continue;
      }
      const uint8_t bits = static_cast<uint8_t>(data[offset] & first_mask);
      first_mask = 0xFF;
      if (bits != 0) return static_cast<int32_t>(byte_index * 8 + 7 - std::countl_zero(bits));
    }
  }
  return -1;
}

}  // namespace dbase
