// KeySort: gathering keys, writing each full work buffer out as a sorted run, and merged
// retrieval.
#include "expr/sort/key_sort.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "dbf/errors.h"

namespace dbase {

namespace {

// The number of leading bytes `a` and `b` have in common, at most `n`.
int CommonPrefix(const uint8_t* a, const uint8_t* b, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, a + i, sizeof x);
    std::memcpy(&y, b + i, sizeof y);
    if (x != y) {
      const uint64_t differ = x ^ y;
      return i + (std::endian::native == std::endian::little ? std::countr_zero(differ) : std::countl_zero(differ)) / 8;
    }
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
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
    if (marker == kSortMarkerNumber) chunk_.set_fixed_key_length(8);
    if (marker == kSortMarkerInteger) chunk_.set_fixed_key_length(4);
  } else if (marker != marker_) {
    throw EngineError::Make(kVariantMismatch);
  }
  const int key_length = EncodeSortKey(key, marker, key_);
  PutSortRecord(key_ + key_length, record);
  const int length = key_length + kSortRecordBytes;
  if (!chunk_.Fits(length)) {
    WriteRun();
    chunk_.Clear();
  }
  chunk_.Add(key_, length);
  ++keys_added_;
}

// Bytes before the first one that differs from the previous entry are shared with it (front
// compression of the run's pages).
void KeySort::WriteRun() {
  if (chunk_.empty()) return;
  chunk_.Sort(order_);
  auto run = std::make_unique<PageCollection>();
  const size_t n = chunk_.size();
  const uint8_t* previous = nullptr;
  int previous_length = 0;
  uint8_t scratch[2][kSortKeyBuffer];
  for (size_t k = 0; k < n; ++k) {
    int length = 0;
    const uint8_t* key = chunk_.Key(ascending_ ? k : n - 1 - k, &length, scratch[k & 1]);
    const int shared = previous != nullptr ? CommonPrefix(key, previous, std::min(length, previous_length)) : 0;
    run->Append(marker_, key, length, shared);
    previous = key;
    previous_length = length;
  }
  run->FinishWriting();
  runs_.Add(std::move(run));
}

void KeySort::FinishAdding() {
  WriteRun();
  chunk_.Release();
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
    // A key and record number added twice meet here. The first 8 bytes tell most keys apart
    // from the last one: when they are key bytes (unique sorts compare keys only) or the heads
    // are whole keys with their record numbers.
    if (length == last_length_ && (top->head_prefix() == last_prefix_ || (unique_ && length < 8 + kSortRecordBytes)) &&
        (unique_ ? KeyOrder::SameKey(head, length, last_, last_length_)
                 : std::memcmp(head, last_, static_cast<size_t>(length)) == 0)) {
      merger_.AdvanceTop();
      continue;
    }
    DecodeSortKey(top->head_marker(), head, length - kSortRecordBytes, key);
    record = GetSortRecord(head + length - kSortRecordBytes);
    std::memcpy(last_, head, static_cast<size_t>(length));
    last_length_ = length;
    last_prefix_ = top->head_prefix();
    merger_.AdvanceTop();
    return true;
  }
}

}  // namespace dbase
