// KeyChunk: gathering stored keys and the in-place radix sort of their entries.
#include "expr/sort/key_chunk.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "expr/sort/sort_key.h"

namespace dbase {

namespace {

// Below this many entries a range is finished by insertion sort.
constexpr size_t kInsertionLimit = 32;

uint64_t LoadBigEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return std::endian::native == std::endian::little ? __builtin_bswap64(v) : v;
}

// Stable sort by the 64-bit values `key(item)`, least significant byte first: one counting pass
// for all 8 bytes, then one distributing pass per byte that is not the same in every key.
// `spare` has room for `n` items.
template <class Item, class KeyOf>
void RadixSort(Item* items, Item* spare, size_t n, KeyOf key) {
  size_t count[8][256] = {};
  for (size_t i = 0; i < n; ++i) {
    const uint64_t x = key(items[i]);
    for (int b = 0; b < 8; ++b) ++count[b][static_cast<uint8_t>(x >> (8 * b))];
  }
  Item* from = items;
  Item* to = spare;
  for (int b = 0; b < 8; ++b) {
    size_t* c = count[b];
    if (std::find(c, c + 256, n) != c + 256) continue;
    size_t at = 0;
    for (int v = 0; v < 256; ++v) {
      const size_t k = c[v];
      c[v] = at;
      at += k;
    }
    const int shift = 8 * b;
    for (size_t i = 0; i < n; ++i) to[c[static_cast<uint8_t>(key(from[i]) >> shift)]++] = from[i];
    std::swap(from, to);
  }
  if (from != items) std::memcpy(static_cast<void*>(items), from, n * sizeof(Item));
}

}  // namespace

void KeyChunk::Add(const uint8_t* stored, int length) {
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<uint8_t[]>(kBytes);
  ++count_;
  if (word_keys()) {
    // The key part, left-aligned, and the record number in the low 32 bits: every word is
    // distinct and orders as its stored key does. The stored bytes behind the key part (its
    // record number, then the caller's buffer of kSortKeyBuffer bytes) are masked off.
    const uint64_t key = LoadBigEndian64(stored) & (~uint64_t{0} << (64 - 8 * fixed_));
    words()[0] = key | static_cast<uint32_t>(GetSortRecord(stored + fixed_));
    return;
  }
  Entry& e = entries()[0];
  const int key_length = length - kSortRecordBytes;
  e.length = static_cast<uint8_t>(length);
  e.key_length = static_cast<uint8_t>(key_length);
  e.tail = 0;
  e.unused = 0;
  if (fixed_ != 0) {
    // The key part, left-aligned in the window (bytes behind it masked off as above).
    e.window = LoadBigEndian64(stored) & (~uint64_t{0} << (64 - 8 * key_length));
    e.offset = static_cast<uint32_t>(GetSortRecord(stored + key_length));
    return;
  }
  std::memcpy(buffer_.get() + front_, stored, static_cast<size_t>(length));
  e.window = 0;
  e.offset = static_cast<uint32_t>(front_);
  front_ += static_cast<size_t>(length);
}

const uint8_t* KeyChunk::Key(size_t i, int* length, uint8_t* scratch) const {
  if (word_keys()) {
    uint64_t word = words()[i];
    const auto record = static_cast<int32_t>(static_cast<uint32_t>(word));
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    std::memcpy(scratch, &word, sizeof word);
    PutSortRecord(scratch + fixed_, record);
    *length = fixed_ + kSortRecordBytes;
    return scratch;
  }
  const Entry& e = entries()[i];
  *length = e.length;
  if (fixed_ == 0) return buffer_.get() + e.offset;
  uint64_t window = e.window;
  if constexpr (std::endian::native == std::endian::little) window = __builtin_bswap64(window);
  std::memcpy(scratch, &window, sizeof window);
  PutSortRecord(scratch + e.key_length, static_cast<int32_t>(e.offset));
  return scratch;
}

uint32_t KeyChunk::RecordOf(const Entry& e) const {
  if (fixed_ != 0) return e.offset;
  return static_cast<uint32_t>(GetSortRecord(buffer_.get() + e.offset + e.key_length));
}

void KeyChunk::Sort(const KeyOrder& order) {
  order_ = &order;
  step_ = order.byte_order() ? 8 : 4;
  if (count_ < 2) return;
  if (word_keys()) {
    RadixSort(words(), reinterpret_cast<uint64_t*>(buffer_.get()), count_, [](uint64_t w) { return w; });
  } else if (fixed_ != 0) {
    // The windows hold the whole keys. Equal keys keep the order they were added in, which is
    // record order when a table is read in its own order; runs of equal keys whose records came
    // in another order are put right afterwards.
    Entry* e = entries();
    RadixSort(e, reinterpret_cast<Entry*>(buffer_.get()), count_, [](const Entry& x) { return x.window; });
    for (size_t i = 0; i + 1 < count_;) {
      size_t j = i + 1;
      bool ordered = true;
      for (; j < count_ && e[j].window == e[i].window; ++j) ordered = ordered && e[j - 1].offset <= e[j].offset;
      if (!ordered) ResolveEqual(e + i, j - i, 0);
      i = j;
    }
  } else {
    SortLevel(entries(), count_, 0);
  }
}

// The window holds the key bytes from `depth` on (8 of them, or 4 collation ranks of 16 bits),
// zeros past the end of the key; the tail tells keys that end inside the window apart by how
// many bytes they still had, and marks those that go on past it. Bytes read past a key's end
// lie inside the buffer (its record number follows it) and are masked off.
void KeyChunk::FillWindow(Entry& e, int depth) const {
  const uint8_t* key = buffer_.get() + e.offset + depth;
  const int remaining = e.key_length - depth;
  const int take = std::min(remaining, step_);
  uint64_t window = 0;
  if (step_ == 8) {
    if (take > 0) window = LoadBigEndian64(key) & (~uint64_t{0} << (64 - 8 * take));
  } else {
    for (int i = 0; i < take; ++i) window |= uint64_t{order_->ByteRank(key[i])} << (48 - 16 * i);
  }
  e.window = window;
  e.tail = remaining > step_ ? kMore : static_cast<uint8_t>(remaining);
}

void KeyChunk::SortLevel(Entry* e, size_t n, int depth) {
  for (size_t i = 0; i < n; ++i) FillWindow(e[i], depth);
  SortRange(e, n, depth, 0, false);
}

namespace {

uint8_t SortByte(const uint64_t window, uint8_t tail, int position) {
  return position < 8 ? static_cast<uint8_t>(window >> (56 - 8 * position)) : tail;
}

}  // namespace

void KeyChunk::SortRange(Entry* e, size_t n, int depth, int position, bool records) {
  const auto less = [](const Entry& a, const Entry& b) {
    return a.window != b.window ? a.window < b.window : a.tail < b.tail;
  };
  if (n < kInsertionLimit) {
    for (size_t i = 1; i < n; ++i) {
      Entry x = e[i];
      size_t j = i;
      for (; j > 0 && less(x, e[j - 1]); --j) e[j] = e[j - 1];
      e[j] = x;
    }
    if (records) return;
    for (size_t i = 0; i < n;) {
      size_t j = i + 1;
      while (j < n && e[j].window == e[i].window && e[j].tail == e[i].tail) ++j;
      if (j - i > 1) ResolveEqual(e + i, j - i, depth);
      i = j;
    }
    return;
  }
  // Counts the bytes at `position`; when they are all one, the bits that vary anywhere (seen in
  // the same pass) give the first position worth counting, or show that the entries are equal.
  size_t count[256] = {};
  uint64_t any = 0;
  uint64_t all = ~uint64_t{0};
  uint8_t tail_any = 0;
  uint8_t tail_all = 0xFF;
  for (size_t i = 0; i < n; ++i) {
    ++count[SortByte(e[i].window, e[i].tail, position)];
    any |= e[i].window;
    all &= e[i].window;
    tail_any |= e[i].tail;
    tail_all &= e[i].tail;
  }
  if (std::find(std::begin(count), std::end(count), n) != std::end(count)) {
    const uint64_t varies = any ^ all;
    if (varies != 0) {
      position = std::countl_zero(varies) / 8;
    } else if (tail_any != tail_all) {
      position = 8;
    } else {
      if (!records) ResolveEqual(e, n, depth);
      return;
    }
    std::fill(std::begin(count), std::end(count), 0);
    for (size_t i = 0; i < n; ++i) ++count[SortByte(e[i].window, e[i].tail, position)];
  }
  // American flag sort: each entry is swapped straight into its bucket.
  size_t next[256];
  size_t end[256];
  size_t at = 0;
  for (int b = 0; b < 256; ++b) {
    next[b] = at;
    at += count[b];
    end[b] = at;
  }
  for (int b = 0; b < 256; ++b) {
    while (next[b] < end[b]) {
      Entry x = e[next[b]];
      uint8_t c = SortByte(x.window, x.tail, position);
      while (c != b) {
        std::swap(x, e[next[c]++]);
        c = SortByte(x.window, x.tail, position);
      }
      e[next[b]++] = x;
    }
  }
  size_t start = 0;
  for (int b = 0; b < 256; ++b) {
    if (count[b] > 1) SortRange(e + start, count[b], depth, position + 1, records);
    start += count[b];
  }
}

void KeyChunk::ResolveEqual(Entry* e, size_t n, int depth) {
  if (fixed_ != 0) {
    // Equal keys kept in their entries: order by record number, then put the key back.
    const uint64_t key = e[0].window;
    SortRecords(e, n);
    for (size_t i = 0; i < n; ++i) e[i].window = key;
  } else if (e[0].tail == kMore) {
    SortLevel(e, n, depth + step_);
  } else {
    SortRecords(e, n);
  }
}

// Keys equal in every byte: the record numbers (big-endian behind the key) decide.
void KeyChunk::SortRecords(Entry* e, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    e[i].window = uint64_t{RecordOf(e[i])} << 32;
    e[i].tail = 0;
  }
  SortRange(e, n, 0, 0, true);
}

}  // namespace dbase
