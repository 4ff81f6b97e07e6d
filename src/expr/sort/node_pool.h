// NodePool: the fixed store of trie nodes behind KeySort, at most 32 blocks of 40,960 bytes
// (4,096 nodes of 10 bytes each), allocated zero-filled as the trie grows and reused after each
// run is written out.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace dbase {

// A trie node. `next` is the next sibling, or, when the low flag bits say so, up to 4 further key
// bytes packed in its place (a node with packed bytes has no sibling).
struct [[gnu::packed]] TrieNode {
  uint32_t child;  // first node of the next byte position; 0 = none
  uint32_t next;   // next sibling or packed bytes; 0 = none
  uint8_t flags;   // bits 0-2 packed byte count, bit 3 record-number start, bits 4-7 marker
  uint8_t ch;      // the byte this node stands for

  static constexpr uint8_t kPackedMask = 0x07;
  static constexpr uint8_t kRecordStart = 0x08;  // first byte after the key part
  static constexpr uint8_t kMarkerMask = 0xF0;   // type marker of a key that ends here

  int packed() const { return flags & kPackedMask; }
  bool record_start() const { return (flags & kRecordStart) != 0; }
  uint8_t marker() const { return flags & kMarkerMask; }
};
static_assert(sizeof(TrieNode) == 10, "trie nodes are 10 bytes");

class NodePool {
 public:
  static constexpr int kBlockBytes = 40960;
  static constexpr int kNodesPerBlock = kBlockBytes / static_cast<int>(sizeof(TrieNode));
  static constexpr int kMaxBlocks = 32;
  static constexpr int kCapacity = kNodesPerBlock * kMaxBlocks;

  NodePool() = default;
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;

  // A fresh node (all fields zero); references count from 1. Requires available() > 0.
  uint32_t Allocate() {
    const uint32_t index = used_;
    const uint32_t block = index / kNodesPerBlock;
    if (block >= static_cast<uint32_t>(block_count_)) AddBlock();
    ++used_;
    TrieNode& node = blocks_[block][index % kNodesPerBlock];
    node = TrieNode{};
    return index + 1;
  }

  TrieNode& operator[](uint32_t ref) {
    const uint32_t index = ref - 1;
    return blocks_[index / kNodesPerBlock][index % kNodesPerBlock];
  }
  const TrieNode& operator[](uint32_t ref) const {
    const uint32_t index = ref - 1;
    return blocks_[index / kNodesPerBlock][index % kNodesPerBlock];
  }

  int available() const { return kCapacity - static_cast<int>(used_); }
  int used() const { return static_cast<int>(used_); }
  int block_count() const { return block_count_; }

  // Starts again at the first block, keeping the blocks.
  void Reset() { used_ = 0; }
  // Frees every block.
  void Release();

 private:
  void AddBlock();

  std::array<std::unique_ptr<TrieNode[]>, kMaxBlocks> blocks_;
  int block_count_ = 0;
  uint32_t used_ = 0;
};

}  // namespace dbase
