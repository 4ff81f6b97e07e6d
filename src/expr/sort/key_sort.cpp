// KeySort: trie insertion, writing the trie out as runs, and merged retrieval.
#include "expr/sort/key_sort.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "dbf/errors.h"

namespace dbase {

namespace {

constexpr uint32_t kKeyByteRank = 0x10000;  // key bytes rank above the end of a key

void GetPacked(const TrieNode& node, uint8_t* out) {
  const uint32_t packed = node.next;
  std::memcpy(out, &packed, sizeof packed);
}

void SetPacked(TrieNode& node, const uint8_t* bytes, int n) {
  uint32_t packed = 0;
  std::memcpy(&packed, bytes, static_cast<size_t>(n));
  node.next = packed;
}

}  // namespace

KeySort::KeySort(int key_length_limit, const uint8_t* collation, bool ascending, bool unique)
    : ascending_(ascending), unique_(unique), key_length_limit_(key_length_limit) {
  if (key_length_limit < 1 || key_length_limit > kMaxKeyLength) {
    throw EngineError::Make(kSortKeyLength, kMaxKeyLength, key_length_limit);
  }
  if (collation != nullptr) {
    collation_.emplace();
    std::memcpy(collation_->data(), collation, collation_->size());
  }
  order_.Configure(nullptr, ascending_);
}

KeySort::~KeySort() = default;

size_t KeySort::run_bytes() const {
  size_t total = 0;
  for (int i = 0; i < runs_.Count(); ++i) total += runs_.At(i)->bytes_held();
  return total;
}

void KeySort::AddKey(const Value& key, int32_t record) {
  if (!adding_) throw EngineError::Make(kSortAfterRetrieval);
  const uint8_t marker = SortMarkerOf(key.kind());
  if (key.length() > key_length_limit_) {
    throw EngineError::Make(kSortKeyLength, key_length_limit_, key.length());
  }
  if (marker_ == 0) {
    marker_ = marker;
    const bool weighted = marker == kSortMarkerText && collation_.has_value();
    order_.Configure(weighted ? collation_->data() : nullptr, ascending_);
  } else if (marker != marker_) {
    throw EngineError::Make(kVariantMismatch);
  }
  const int key_length = EncodeSortKey(key, marker, key_);
  PutSortRecord(key_ + key_length, record);
  Insert(key_length + kSortRecordBytes, key_length, marker);
  ++keys_added_;
}

// Walks the trie one stored byte per level. A level holding one node is checked directly, a level
// of several through the child index. New nodes go to the front of their sibling list; the lists
// are put in order when the trie is written out.
void KeySort::Insert(int length, int key_length, uint8_t marker) {
  // One node per byte at most, plus one split.
  if (pool_.available() < length + 1) {
    WriteRun();
    ResetTrie();
  }
  uint32_t parent = 0;
  int d = 0;
  while (d < length) {
    const uint8_t byte = key_[d];
    const bool record_start = d == key_length;
    const uint32_t symbol = ChildIndex::Symbol(byte, record_start);
    const uint32_t first = NodeAt(parent).child;
    if (first == 0) {
      // An empty level: the new node takes up to 4 more bytes of the same part packed in.
      const uint32_t ref = pool_.Allocate();
      TrieNode& node = pool_[ref];
      node.ch = byte;
      if (record_start) node.flags = TrieNode::kRecordStart;
      const int part_end = d < key_length ? key_length : length;
      const int packed = std::min(4, part_end - 1 - d);
      if (packed > 0) {
        SetPacked(node, key_ + d + 1, packed);
        node.flags = static_cast<uint8_t>(node.flags | packed);
      }
      NodeAt(parent).child = ref;
      parent = ref;
      d += 1 + packed;
      continue;
    }

    // A node alone on its level is compared directly; levels of several nodes are indexed.
    const TrieNode& head = pool_[first];
    const bool alone = head.packed() > 0 || head.next == 0;
    uint32_t found = 0;
    if (alone) {
      if (ChildIndex::Symbol(head.ch, head.record_start()) == symbol) found = first;
    } else {
      found = children_.Find(parent, symbol);
    }
    if (found != 0) {
      const TrieNode& node = pool_[found];
      const int packed = node.packed();
      if (packed == 0) {
        parent = found;
        ++d;
        continue;
      }
      // Follow a packed node whole when the key goes on with the same bytes in the same part;
      // otherwise split it and go on below its first byte.
      const bool same_part = d >= key_length || d + packed < key_length;
      uint8_t bytes[4];
      GetPacked(node, bytes);
      if (same_part && std::memcmp(bytes, key_ + d + 1, static_cast<size_t>(packed)) == 0) {
        parent = found;
        d += 1 + packed;
        continue;
      }
      parent = Split(parent, found);
      ++d;
      continue;
    }

    // A new sibling. A packed node is alone on its level: split it first. The node that was
    // alone joins the index with the new one.
    if (alone) {
      const uint32_t only = head.packed() > 0 ? Split(parent, first) : first;
      const TrieNode& node = pool_[only];
      children_.Set(parent, ChildIndex::Symbol(node.ch, node.record_start()), only);
    }
    // Indexed before it is linked, so that a failed allocation leaves the trie as it was.
    const uint32_t ref = pool_.Allocate();
    children_.Set(parent, symbol, ref);
    TrieNode& node = pool_[ref];
    node.ch = byte;
    if (record_start) node.flags = TrieNode::kRecordStart;
    TrieNode& parent_node = NodeAt(parent);
    node.next = parent_node.child;
    parent_node.child = ref;
    parent = ref;
    ++d;
  }
  TrieNode& last = NodeAt(parent);
  last.flags = static_cast<uint8_t>((last.flags & ~TrieNode::kMarkerMask) | marker);
}

// The packed node `ref`, alone below `parent` (so not in the child index), keeps its packed bytes after the first, its
// children and its marker; a new node takes its place with its first byte.
uint32_t KeySort::Split(uint32_t parent, uint32_t ref) {
  const uint32_t upper_ref = pool_.Allocate();
  TrieNode& upper = pool_[upper_ref];
  TrieNode& lower = pool_[ref];
  uint8_t bytes[4];
  GetPacked(lower, bytes);
  const int packed = lower.packed();
  upper.ch = lower.ch;
  upper.flags = static_cast<uint8_t>(lower.flags & TrieNode::kRecordStart);
  upper.child = ref;
  lower.ch = bytes[0];
  lower.flags = static_cast<uint8_t>(lower.marker() | (packed - 1));
  lower.next = 0;
  if (packed > 1) SetPacked(lower, bytes + 1, packed - 1);
  NodeAt(parent).child = upper_ref;
  return upper_ref;
}

// Puts the children of a node in order: inside the key part a record-number start (the key ends
// there) ranks below every key byte, and key bytes rank by collation weight, then by byte;
// record-number bytes rank by byte. A descending sort reverses the order.
void KeySort::OrderChildren(TrieNode& node, bool in_record) {
  const uint64_t flip = ascending_ ? 0 : 0xFFFFFFFFu;
  siblings_.clear();
  for (uint32_t ref = node.child; ref != 0; ref = pool_[ref].next) {
    const TrieNode& child = pool_[ref];
    const uint32_t rank = in_record || child.record_start() ? child.ch : (kKeyByteRank | order_.ByteRank(child.ch));
    siblings_.push_back(((uint64_t{rank} ^ flip) << 32) | ref);
  }
  std::sort(siblings_.begin(), siblings_.end());
  node.child = static_cast<uint32_t>(siblings_.front());
  for (size_t i = 0; i + 1 < siblings_.size(); ++i) {
    pool_[static_cast<uint32_t>(siblings_[i])].next = static_cast<uint32_t>(siblings_[i + 1]);
  }
  pool_[static_cast<uint32_t>(siblings_.back())].next = 0;
}

// Depth-first, each sibling list in order, so entries come out sorted. Bytes before the
// shallowest position touched since the last entry are shared with it.
void KeySort::WriteRun() {
  if (root_.child == 0) return;
  auto run = std::make_unique<PageCollection>();
  if (pool_[root_.child].packed() == 0 && pool_[root_.child].next != 0) OrderChildren(root_, false);
  stack_.clear();
  stack_.push_back({root_.child, 0, false});
  int unchanged = 0;
  while (!stack_.empty()) {
    Pending at = stack_.back();
    stack_.pop_back();
    unchanged = std::min(unchanged, at.depth);
    // Down the first children to a leaf; siblings met on the way wait on the stack.
    for (;;) {
      TrieNode& node = pool_[at.ref];
      assembly_[at.depth] = node.ch;
      const int packed = node.packed();
      if (packed > 0) {
        GetPacked(node, assembly_ + at.depth + 1);
      } else if (node.next != 0) {
        stack_.push_back({node.next, at.depth, at.in_record});
      }
      const int end = at.depth + 1 + packed;
      if (node.child == 0) {
        run->Append(node.marker(), assembly_, end, unchanged);
        unchanged = end;
        break;
      }
      const bool in_record = at.in_record || node.record_start();
      const TrieNode& first = pool_[node.child];
      if (first.packed() == 0 && first.next != 0) OrderChildren(node, in_record);
      at = {node.child, end, in_record};
    }
  }
  run->FinishWriting();
  runs_.Add(std::move(run));
}

void KeySort::ResetTrie() {
  root_ = TrieNode{};
  pool_.Reset();
  children_.Clear();
}

void KeySort::FinishAdding() {
  WriteRun();
  root_ = TrieNode{};
  pool_.Release();
  children_.Release();
  stack_ = {};
  siblings_ = {};
  adding_ = false;
  std::vector<PageCollection*> runs;
  runs.reserve(static_cast<size_t>(runs_.Count()));
  for (int i = 0; i < runs_.Count(); ++i) runs.push_back(runs_.At(i));
  merger_.Start(std::move(runs), &order_);
}

bool KeySort::NextKey(Value& key, int32_t& record) {
  if (adding_) FinishAdding();
  for (;;) {
    PageCollection* top = merger_.Top();
    if (top == nullptr) return false;
    const uint8_t* head = top->head();
    const int length = top->head_length();
    // A key and record number added twice meet here when they went into different runs.
    if (last_length_ >= 0 &&
        (unique_ ? KeyOrder::SameKey(head, length, last_, last_length_)
                 : length == last_length_ && std::memcmp(head, last_, static_cast<size_t>(length)) == 0)) {
      merger_.AdvanceTop();
      continue;
    }
    DecodeSortKey(top->head_marker(), head, length - kSortRecordBytes, key);
    record = GetSortRecord(head + length - kSortRecordBytes);
    std::memcpy(last_, head, static_cast<size_t>(length));
    last_length_ = length;
    merger_.AdvanceTop();
    return true;
  }
}

}  // namespace dbase
