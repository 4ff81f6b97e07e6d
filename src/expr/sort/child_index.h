// ChildIndex: finds the child of a trie node that stands for a given byte in one probe, so that
// inserting a key never walks a long sibling list. It holds the nodes of every level that has
// more than one: an open-addressing table that grows with them (at most twice the node pool's
// size) and is emptied whenever the pool starts again.
#pragma once

#include <cstdint>
#include <memory>

#include "expr/sort/node_pool.h"

namespace dbase {

class ChildIndex {
 public:
  static constexpr int kMinSlotBits = 12;
  static constexpr int kMaxSlotBits = 18;
  static_assert((uint32_t{1} << kMaxSlotBits) >= 2 * NodePool::kCapacity, "one entry per node, half full at most");

  // `symbol` is the byte, plus 0x100 for a node that starts the record number.
  static uint32_t Symbol(uint8_t byte, bool record_start) { return byte | (record_start ? 0x100u : 0u); }

  // The child of `parent` (0 = the root) with `symbol`; 0 when there is none.
  uint32_t Find(uint32_t parent, uint32_t symbol) const {
    if (!slots_) return 0;
    const uint32_t key = Key(parent, symbol);
    const uint32_t mask = (uint32_t{1} << bits_) - 1;
    for (uint32_t i = Hash(key); ; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.child == 0) return 0;
      if (slot.key == key) return slot.child;
    }
  }

  // Records `child` as the child of `parent` with `symbol`, replacing an earlier one.
  void Set(uint32_t parent, uint32_t symbol, uint32_t child);
  // Forgets every entry (memory kept).
  void Clear();
  // Frees the table.
  void Release();

 private:
  struct Slot {
    uint32_t key;
    uint32_t child;  // 0 = empty slot
  };
  static uint32_t Key(uint32_t parent, uint32_t symbol) { return (parent << 9) | symbol; }
  uint32_t Hash(uint32_t key) const { return (key * 0x9E3779B1u) >> (32 - bits_); }
  void Grow();

  std::unique_ptr<Slot[]> slots_;
  int bits_ = kMinSlotBits;
  uint32_t count_ = 0;
};

}  // namespace dbase
