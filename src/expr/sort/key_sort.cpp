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

// Walks the trie one stored byte per level. At each level the siblings are kept in order of
// rank: inside the key part a record-number start (the key ends here) ranks below every key
// byte, which rank by collation weight and then by byte; record-number bytes rank by byte.
void KeySort::Insert(int length, int key_length, uint8_t marker) {
  // One node per byte at most, plus one split.
  if (pool_.available() < length + 1) {
    WriteRun();
    ResetTrie();
  }
  const uint32_t flip = ascending_ ? 0 : 0xFFFFFFFFu;
  uint32_t parent = 0;
  int d = 0;
  while (d < length) {
    const uint8_t byte = key_[d];
    const uint32_t first = NodeAt(parent).child;
    if (first == 0) {
      // An empty level: the new node takes up to 4 more bytes of the same part packed in.
      const uint32_t ref = pool_.Allocate();
      TrieNode& node = pool_[ref];
      node.ch = byte;
      if (d == key_length) node.flags = TrieNode::kRecordStart;
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

    const bool in_record = d > key_length;
    auto rank = [&](const TrieNode& node) -> uint32_t {
      if (in_record || node.record_start()) return node.ch ^ flip;
      return (kKeyByteRank | order_.ByteRank(node.ch)) ^ flip;
    };
    const uint32_t wanted = (d < key_length ? (kKeyByteRank | order_.ByteRank(byte)) : byte) ^ flip;

    const TrieNode& head = pool_[first];
    if (head.packed() > 0) {
      // A packed node is alone on its level. Follow it whole when the key goes on with the
      // same bytes in the same part; otherwise split it.
      const int packed = head.packed();
      const bool same_part = d >= key_length || d + packed < key_length;
      if (same_part && rank(head) == wanted) {
        uint8_t bytes[4];
        GetPacked(head, bytes);
        if (std::memcmp(bytes, key_ + d + 1, static_cast<size_t>(packed)) == 0) {
          parent = first;
          d += 1 + packed;
          continue;
        }
      }
      Split(first);
    }

    uint32_t previous = 0;
    uint32_t current = first;
    bool found = false;
    while (current != 0) {
      const TrieNode& node = pool_[current];
      const uint32_t r = rank(node);
      if (r >= wanted) {
        found = r == wanted;
        break;
      }
      previous = current;
      current = node.next;
    }
    if (found) {
      parent = current;
      ++d;
      continue;
    }
    const uint32_t ref = pool_.Allocate();
    TrieNode& node = pool_[ref];
    node.ch = byte;
    if (d == key_length) node.flags = TrieNode::kRecordStart;
    node.next = current;
    if (previous != 0) {
      pool_[previous].next = ref;
    } else {
      NodeAt(parent).child = ref;
    }
    parent = ref;
    ++d;
  }
  TrieNode& last = NodeAt(parent);
  last.flags = static_cast<uint8_t>((last.flags & ~TrieNode::kMarkerMask) | marker);
}

void KeySort::Split(uint32_t ref) {
  const uint32_t child_ref = pool_.Allocate();
  TrieNode& node = pool_[ref];
  TrieNode& child = pool_[child_ref];
  uint8_t bytes[4];
  GetPacked(node, bytes);
  const int packed = node.packed();
  child.ch = bytes[0];
  child.flags = static_cast<uint8_t>(node.marker() | (packed - 1));
  if (packed > 1) SetPacked(child, bytes + 1, packed - 1);
  child.child = node.child;
  node.child = child_ref;
  node.next = 0;
  node.flags = static_cast<uint8_t>(node.flags & TrieNode::kRecordStart);
}

// Depth-first, each sibling list in its stored order, so entries come out sorted. Bytes before
// the shallowest position touched since the last entry are shared with it.
void KeySort::WriteRun() {
  if (root_.child == 0) return;
  auto run = std::make_unique<PageCollection>();
  stack_.clear();
  stack_.emplace_back(uint32_t{root_.child}, 0);
  int unchanged = 0;
  while (!stack_.empty()) {
    const auto [ref, depth] = stack_.back();
    stack_.pop_back();
    const TrieNode& node = pool_[ref];
    unchanged = std::min(unchanged, depth);
    assembly_[depth] = node.ch;
    const int packed = node.packed();
    if (packed > 0) {
      GetPacked(node, assembly_ + depth + 1);
    } else if (node.next != 0) {
      stack_.emplace_back(uint32_t{node.next}, depth);
    }
    const int end = depth + 1 + packed;
    if (node.child != 0) {
      stack_.emplace_back(uint32_t{node.child}, end);
    } else {
      run->Append(node.marker(), assembly_, end, unchanged);
      unchanged = end;
    }
  }
  run->FinishWriting();
  runs_.Add(std::move(run));
}

void KeySort::ResetTrie() {
  root_ = TrieNode{};
  pool_.Reset();
}

void KeySort::FinishAdding() {
  WriteRun();
  root_ = TrieNode{};
  pool_.Release();
  stack_ = {};
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
