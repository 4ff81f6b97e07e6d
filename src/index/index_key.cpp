// IndexKey: entries of one page in memory.
#include "index/index_key.h"

#include <cstring>

namespace dbase {

IndexKeyData IndexKey::Entry(int i) const {
  IndexKeyData d;
  if (!keyless(i)) d.key.assign(reinterpret_cast<const char*>(key(i)), static_cast<size_t>(key_length_));
  d.record = record(i);
  d.ref = ref(i);
  return d;
}

void IndexKey::Insert(int i, const uint8_t* key, int32_t record, PageRef ref, bool keyless) {
  if (i == count()) {  // the common case of reading and building pages
    const size_t end = keys_.size();
    keys_.resize(end + static_cast<size_t>(key_length_));
    if (!keyless && key != nullptr) std::memcpy(keys_.data() + end, key, static_cast<size_t>(key_length_));
    entries_.push_back(Item{record, ref, keyless});
    changed = true;
    return;
  }
  const size_t at = static_cast<size_t>(i) * static_cast<size_t>(key_length_);
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(at), static_cast<size_t>(key_length_), uint8_t{0});
  if (!keyless && key != nullptr) std::memcpy(keys_.data() + at, key, static_cast<size_t>(key_length_));
  entries_.insert(entries_.begin() + i, Item{record, ref, keyless});
  changed = true;
}

void IndexKey::Remove(int i) {
  const size_t at = static_cast<size_t>(i) * static_cast<size_t>(key_length_);
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(at),
              keys_.begin() + static_cast<std::ptrdiff_t>(at + static_cast<size_t>(key_length_)));
  entries_.erase(entries_.begin() + i);
  changed = true;
}

void IndexKey::SetKey(int i, const uint8_t* key, int32_t record) {
  std::memcpy(mutable_key(i), key, static_cast<size_t>(key_length_));
  entries_[static_cast<size_t>(i)].record = record;
  entries_[static_cast<size_t>(i)].keyless = false;
  changed = true;
}

void IndexKey::MoveTail(int from, IndexKey& to) {
  for (int i = from; i < count(); ++i) to.Append(key(i), record(i), ref(i), keyless(i));
  keys_.resize(static_cast<size_t>(from) * static_cast<size_t>(key_length_));
  entries_.resize(static_cast<size_t>(from));
  changed = true;
}

void IndexKey::MoveHead(int n, IndexKey& to) {
  for (int i = 0; i < n; ++i) to.Append(key(i), record(i), ref(i), keyless(i));
  keys_.erase(keys_.begin(), keys_.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(n) * static_cast<size_t>(key_length_)));
  entries_.erase(entries_.begin(), entries_.begin() + n);
  changed = true;
}

void IndexKey::Clear() {
  keys_.clear();
  entries_.clear();
  position = -1;
  measured = measured_bytes = 0;
  changed = true;
}

}  // namespace dbase
