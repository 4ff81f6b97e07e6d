// Block allocation of the trie node pool.
#include "expr/sort/node_pool.h"

#include <stdexcept>
#include <string>

namespace dbase {

void NodePool::AddBlock() {
  if (block_count_ >= kMaxBlocks) {
    throw std::logic_error("Trie node pool exhausted (" + std::to_string(kCapacity) + " nodes)");
  }
  blocks_[static_cast<size_t>(block_count_)] = std::make_unique<TrieNode[]>(kNodesPerBlock);
  ++block_count_;
}

void NodePool::Release() {
  for (auto& block : blocks_) block.reset();
  block_count_ = 0;
  used_ = 0;
}

}  // namespace dbase
