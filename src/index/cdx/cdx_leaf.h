// CDX compact leaf nodes: every key stored as the bytes it does not share with the key before
// it, less its trailing fill bytes (blanks for character keys, 0x00 for numbers and dates).
//
// Leaf node (512 bytes), integers little-endian:
//   0  2  attributes: 2 leaf, 3 leaf root
//   2  2  number of keys
//   4  4  left sibling offset (-1 none)
//   8  4  right sibling offset (-1 none)
//  12  2  free space
//  14  4  record number mask
//  18  1  duplicate count mask
//  19  1  trailing count mask
//  20  1  record number bits
//  21  1  duplicate count bits
//  22  1  trailing count bits
//  23  1  bytes per entry
//  24     entries, one per key in key order, each a little-endian bit field: the record number
//         in the low record-number bits; in the top bits of its last two bytes (a 16-bit value w)
//         the trailing count t = (w >> (16 - trailing bits)) & mask and below it the duplicate
//         count d = (w >> (16 - trailing bits - duplicate bits)) & mask
//         the keys' stored bytes fill the node from its end downwards, each key's bytes just
//         below those of the key before it; a key is the first d bytes of the key before it,
//         its L - d - t stored bytes, then t fill bytes
// Duplicate and trailing bits are the bit length of the key length L; the record number takes
// 24 - 2 * that many bits in 3-byte entries, 8 bits and a byte more while its mask is below the
// record count (31 bits once the mask reached 24 bits).
#pragma once

#include <cstdint>

#include "index/index_key.h"

namespace dbase {

inline constexpr int kCdxNode = 512;
inline constexpr int kCdxLeafHeader = 24;
inline constexpr int kCdxLeafRoom = kCdxNode - kCdxLeafHeader;  // 488

struct CdxLeafParams {
  int record_bits = 0;
  int dup_bits = 0;
  int trail_bits = 0;
  int bytes = 0;  // per entry
  uint32_t record_mask = 0;
  uint32_t dup_mask = 0;
  uint32_t trail_mask = 0;
};

CdxLeafParams CdxLeafParamsFor(int key_length, uint32_t record_count);

// Room the entries of `page` take in a leaf (entry table and stored bytes), from entry `from`
// on, entry `from` compressed against entry `from - 1` when `from` > 0.
int CdxLeafBytes(const IndexKey& page, const CdxLeafParams& params, uint8_t fill, int from = 0, int to = -1);

// Room entry i takes in the leaf of `page`, compressed against entry i - 1.
int CdxEntryBytes(const IndexKey& page, int i, const CdxLeafParams& params, uint8_t fill);

// Writes the entries of a leaf node (from offset 12 on: free space, parameters, entries,
// keys); false when they do not fit.
bool EncodeCdxLeaf(const IndexKey& page, const CdxLeafParams& params, uint8_t fill, uint8_t* node);

// Reads the entries of a leaf node; false when its parameters or entries do not make sense.
bool DecodeCdxLeaf(const uint8_t* node, int key_length, uint8_t fill, IndexKey& out);

}  // namespace dbase
