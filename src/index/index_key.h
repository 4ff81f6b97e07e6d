// IndexKeyData (one entry: a stored key, its record number and page reference) and IndexKey (one
// index page held in memory). Keys are kept in the stored form of their format, every key of a
// tag the same length, so that a page is one flat array of keys beside its entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dbase {

// A page reference in the format's own unit (byte offset or block number).
using PageRef = uint32_t;
inline constexpr PageRef kNoPage = 0xFFFFFFFFu;

struct IndexKeyData {
  std::string key;     // stored form; empty when there is none
  int32_t record = 0;  // record number (0 in branch entries of formats that keep none)
  PageRef ref = 0;     // child page in a branch, the record number again in a leaf
};

class IndexKey {
 public:
  explicit IndexKey(int key_length) : key_length_(key_length) {}

  int key_length() const { return key_length_; }
  int count() const { return static_cast<int>(entries_.size()); }
  bool empty() const { return entries_.empty(); }

  const uint8_t* key(int i) const { return keys_.data() + static_cast<size_t>(i) * static_cast<size_t>(key_length_); }
  uint8_t* mutable_key(int i) { return keys_.data() + static_cast<size_t>(i) * static_cast<size_t>(key_length_); }
  int32_t record(int i) const { return entries_[static_cast<size_t>(i)].record; }
  PageRef ref(int i) const { return entries_[static_cast<size_t>(i)].ref; }
  // A keyless entry (the rightmost child of a branch in formats that store no key for it)
  // sorts after every key.
  bool keyless(int i) const { return entries_[static_cast<size_t>(i)].keyless; }
  IndexKeyData Entry(int i) const;

  // Inserts before entry i; `key` is key_length bytes (ignored when keyless).
  void Insert(int i, const uint8_t* key, int32_t record, PageRef ref, bool keyless = false);
  void Append(const uint8_t* key, int32_t record, PageRef ref, bool keyless = false) {
    Insert(count(), key, record, ref, keyless);
  }
  void Remove(int i);
  void SetKey(int i, const uint8_t* key, int32_t record);
  void SetRef(int i, PageRef ref) { entries_[static_cast<size_t>(i)].ref = ref; }
  void SetKeyless(int i, bool on) { entries_[static_cast<size_t>(i)].keyless = on; }
  // Moves entries [from, count) to the end of `to`.
  void MoveTail(int from, IndexKey& to);
  // Moves entries [0, n) to the end of `to`.
  void MoveHead(int n, IndexKey& to);
  void Clear();
  void Reserve(int n) {
    keys_.reserve(static_cast<size_t>(n) * static_cast<size_t>(key_length_));
    entries_.reserve(static_cast<size_t>(n));
  }
  // Entries not counting a keyless last one.
  int keyed_count() const { return count() > 0 && keyless(count() - 1) ? count() - 1 : count(); }

  PageRef page = 0;        // where it lives in the file
  bool leaf = true;
  bool changed = false;    // must be written
  int position = -1;       // current entry of the path; -1 before the first
  PageRef left = kNoPage;  // sibling links of formats that keep them
  PageRef right = kNoPage;
  uint32_t chain = 0;      // format data: the block allocated before this one (MDX)
  // A format's running measure of the first `measured` entries (bytes a CDX leaf takes), for
  // pages filled by appending.
  int measured = 0;
  int measured_bytes = 0;

 private:
  struct Item {
    int32_t record;
    PageRef ref;
    bool keyless;
  };
  int key_length_;
  std::vector<uint8_t> keys_;
  std::vector<Item> entries_;
};

}  // namespace dbase
