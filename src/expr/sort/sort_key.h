// Sort keys in their stored form: a value's bytes made comparable as unsigned byte strings,
// tagged with a type marker, followed by the record number (4 bytes, most significant first).
#pragma once

#include <cstdint>

#include "dbf/value.h"

namespace dbase {

// Type markers of stored keys (high nibble only, so a trie node can carry one in 4 bits).
inline constexpr uint8_t kSortMarkerRaw = 0x10;
inline constexpr uint8_t kSortMarkerText = 0x20;
inline constexpr uint8_t kSortMarkerNumber = 0x30;
inline constexpr uint8_t kSortMarkerInteger = 0x40;

inline constexpr int kSortMaxKeyLength = 240;
inline constexpr int kSortRecordBytes = 4;
// Key part plus record number; the run format stores it in one byte.
inline constexpr int kSortMaxStoredLength = kSortMaxKeyLength + kSortRecordBytes;
// Room for any stored key (a Number takes 8 bytes whatever the limit).
inline constexpr int kSortKeyBuffer = 256;

// The marker for a value's kind; "Variant type cannot be sorted" for Empty and Logical.
uint8_t SortMarkerOf(ValueKind kind);

// Writes the key part of `value` (kind matching `marker`) into `out` (kSortKeyBuffer bytes) and
// returns its length. Text loses its trailing blanks; a double becomes 8 bytes whose unsigned
// order is numeric order (-0 is stored as +0); an integer becomes 4 bytes with the sign bit
// flipped so that negative values sort below positive ones.
int EncodeSortKey(const Value& value, uint8_t marker, uint8_t* out);

// Restores the value of a key part written by EncodeSortKey.
void DecodeSortKey(uint8_t marker, const uint8_t* key, int key_length, Value& out);

inline void PutSortRecord(uint8_t* out, int32_t record) {
  const uint32_t r = static_cast<uint32_t>(record);
  out[0] = static_cast<uint8_t>(r >> 24);
  out[1] = static_cast<uint8_t>(r >> 16);
  out[2] = static_cast<uint8_t>(r >> 8);
  out[3] = static_cast<uint8_t>(r);
}

inline int32_t GetSortRecord(const uint8_t* in) {
  const uint32_t r = (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) | uint32_t{in[3]};
  return static_cast<int32_t>(r);
}

}  // namespace dbase
