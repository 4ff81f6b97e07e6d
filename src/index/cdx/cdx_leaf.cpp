// CDX compact leaves: parameters, size, encoding and decoding.
#include "index/cdx/cdx_leaf.h"

#include <cstring>

#include "dbf/byte_order.h"

namespace dbase {

namespace {
constexpr int kFree = 12;
constexpr int kRecordMask = 14;
constexpr int kDupMask = 18;
constexpr int kTrailMask = 19;
constexpr int kRecordBits = 20;
constexpr int kDupBits = 21;
constexpr int kTrailBits = 22;
constexpr int kBytes = 23;

int BitLength(int n) {
  int bits = 0;
  while (n > 0) {
    ++bits;
    n >>= 1;
  }
  return bits == 0 ? 1 : bits;
}

int TrailingFill(const uint8_t* key, int length, uint8_t fill) {
  int t = 0;
  while (t < length && key[length - 1 - t] == fill) ++t;
  return t;
}

int Common(const uint8_t* a, const uint8_t* b, int length) {
  int d = 0;
  while (d < length && a[d] == b[d]) ++d;
  return d;
}

// Duplicate count, trailing count and stored length of entry i.
void Shape(const IndexKey& page, int i, uint8_t fill, int* d, int* t) {
  const int length = page.key_length();
  const uint8_t* key = page.key(i);
  *t = TrailingFill(key, length, fill);
  *d = 0;
  if (i > 0) {
    *d = Common(page.key(i - 1), key, length);
    if (*d > length - *t) *d = length - *t;
  }
}
}  // namespace

CdxLeafParams CdxLeafParamsFor(int key_length, uint32_t record_count) {
  CdxLeafParams p;
  p.dup_bits = p.trail_bits = BitLength(key_length);
  p.record_bits = 24 - 2 * p.dup_bits;
  p.bytes = 3;
  while (p.record_bits < 31 && ((1u << p.record_bits) - 1) < record_count) {
    if (p.record_bits >= 24) {
      p.record_bits = 31;
      p.bytes = (31 + p.dup_bits + p.trail_bits + 7) / 8;
      break;
    }
    p.record_bits += 8;
    p.bytes += 1;
  }
  p.record_mask = p.record_bits >= 32 ? 0xFFFFFFFFu : (1u << p.record_bits) - 1;
  p.dup_mask = (1u << p.dup_bits) - 1;
  p.trail_mask = (1u << p.trail_bits) - 1;
  return p;
}

int CdxLeafBytes(const IndexKey& page, const CdxLeafParams& params, uint8_t fill, int from, int to) {
  if (to < 0) to = page.count();
  int total = 0;
  for (int i = from; i < to; ++i) {
    int d = 0;
    int t = 0;
    Shape(page, i, fill, &d, &t);
    if (i == from && from > 0) {
      // Measured as the first of its own leaf.
      d = 0;
    }
    total += params.bytes + page.key_length() - d - t;
  }
  return total;
}

int CdxEntryBytes(const IndexKey& page, int i, const CdxLeafParams& params, uint8_t fill) {
  int d = 0;
  int t = 0;
  Shape(page, i, fill, &d, &t);
  return params.bytes + page.key_length() - d - t;
}

bool EncodeCdxLeaf(const IndexKey& page, const CdxLeafParams& params, uint8_t fill, uint8_t* node) {
  const int length = page.key_length();
  const int n = page.count();
  if (CdxLeafBytes(page, params, fill) > kCdxLeafRoom) return false;
  PutLE32(node + kRecordMask, params.record_mask);
  node[kDupMask] = static_cast<uint8_t>(params.dup_mask);
  node[kTrailMask] = static_cast<uint8_t>(params.trail_mask);
  node[kRecordBits] = static_cast<uint8_t>(params.record_bits);
  node[kDupBits] = static_cast<uint8_t>(params.dup_bits);
  node[kTrailBits] = static_cast<uint8_t>(params.trail_bits);
  node[kBytes] = static_cast<uint8_t>(params.bytes);
  int key_end = kCdxNode;
  for (int i = 0; i < n; ++i) {
    int d = 0;
    int t = 0;
    Shape(page, i, fill, &d, &t);
    const int stored = length - d - t;
    key_end -= stored;
    std::memcpy(node + key_end, page.key(i) + d, static_cast<size_t>(stored));
    uint8_t* entry = node + kCdxLeafHeader + i * params.bytes;
    uint64_t bits = static_cast<uint32_t>(page.record(i)) & params.record_mask;
    const int top = params.bytes * 8;
    bits |= static_cast<uint64_t>(t) << (top - params.trail_bits);
    bits |= static_cast<uint64_t>(d) << (top - params.trail_bits - params.dup_bits);
    for (int b = 0; b < params.bytes; ++b) entry[b] = static_cast<uint8_t>(bits >> (8 * b));
  }
  PutLE16(node + kFree, static_cast<uint32_t>(key_end - kCdxLeafHeader - n * params.bytes));
  return true;
}

bool DecodeCdxLeaf(const uint8_t* node, int key_length, uint8_t fill, IndexKey& out) {
  const int n = GetLE16(node + 2);
  CdxLeafParams p;
  p.record_mask = GetLE32(node + kRecordMask);
  p.dup_mask = node[kDupMask];
  p.trail_mask = node[kTrailMask];
  p.record_bits = node[kRecordBits];
  p.dup_bits = node[kDupBits];
  p.trail_bits = node[kTrailBits];
  p.bytes = node[kBytes];
  if (p.bytes < 2 || p.bytes > 8 || p.dup_bits + p.trail_bits > 16 || p.record_bits > 32 ||
      kCdxLeafHeader + n * p.bytes > kCdxNode) {
    return false;
  }
  std::vector<uint8_t> key(static_cast<size_t>(key_length), fill);
  int key_end = kCdxNode;
  const int entries_end = kCdxLeafHeader + n * p.bytes;
  for (int i = 0; i < n; ++i) {
    const uint8_t* entry = node + kCdxLeafHeader + i * p.bytes;
    uint64_t bits = 0;
    for (int b = p.bytes - 1; b >= 0; --b) bits = (bits << 8) | entry[b];
    const uint32_t w = GetLE16(entry + p.bytes - 2);
    const int d = static_cast<int>((w >> (16 - p.trail_bits - p.dup_bits)) & p.dup_mask);
    const int t = static_cast<int>((w >> (16 - p.trail_bits)) & p.trail_mask);
    const int stored = key_length - d - t;
    if (stored < 0 || (i == 0 && d > 0) || key_end - stored < entries_end) return false;
    key_end -= stored;
    std::memcpy(key.data() + d, node + key_end, static_cast<size_t>(stored));
    std::memset(key.data() + d + stored, fill, static_cast<size_t>(t));
    const auto record = static_cast<int32_t>(bits & p.record_mask);
    out.Append(key.data(), record, static_cast<PageRef>(record));
  }
  return true;
}

}  // namespace dbase
