// ChildIndex: insertion, growth and clearing of the open-addressing table.
#include "expr/sort/child_index.h"

#include <cstring>
#include <stdexcept>

namespace dbase {

void ChildIndex::Set(uint32_t parent, uint32_t symbol, uint32_t child) {
  if (!slots_) slots_ = std::make_unique<Slot[]>(size_t{1} << bits_);
  if (2 * (count_ + 1) > (uint32_t{1} << bits_)) Grow();
  const uint32_t key = Key(parent, symbol);
  const uint32_t mask = (uint32_t{1} << bits_) - 1;
  for (uint32_t i = Hash(key);; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.child == 0) {
      slot.key = key;
      slot.child = child;
      ++count_;
      return;
    }
    if (slot.key == key) {
      slot.child = child;
      return;
    }
  }
}

void ChildIndex::Grow() {
  if (bits_ >= kMaxSlotBits) throw std::logic_error("Trie child index is full");
  auto grown = std::make_unique<Slot[]>(size_t{1} << (bits_ + 1));
  const uint32_t old_size = uint32_t{1} << bits_;
  ++bits_;
  const uint32_t mask = (uint32_t{1} << bits_) - 1;
  for (uint32_t j = 0; j < old_size; ++j) {
    if (slots_[j].child == 0) continue;
    uint32_t i = Hash(slots_[j].key);
    while (grown[i].child != 0) i = (i + 1) & mask;
    grown[i] = slots_[j];
  }
  slots_ = std::move(grown);
}

void ChildIndex::Clear() {
  if (slots_ && count_ != 0) std::memset(slots_.get(), 0, sizeof(Slot) << bits_);
  count_ = 0;
}

void ChildIndex::Release() {
  slots_.reset();
  bits_ = kMinSlotBits;
  count_ = 0;
}

}  // namespace dbase
