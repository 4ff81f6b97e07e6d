// Collection: the engine's list that owns its items and frees them on removal.
#pragma once

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace dbase {

template <class T>
class Collection {
 public:
  Collection() = default;
  Collection(const Collection&) = delete;
  Collection& operator=(const Collection&) = delete;
  Collection(Collection&&) noexcept = default;
  Collection& operator=(Collection&&) noexcept = default;

  // Takes ownership; returns the item.
  T* Add(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    return items_.back().get();
  }

  int Count() const { return static_cast<int>(items_.size()); }

  T* At(int index) const {
    if (index < 0 || index >= Count()) {
      throw std::out_of_range("Collection index " + std::to_string(index) + " out of range (count " +
                              std::to_string(Count()) + ")");
    }
    return items_[static_cast<size_t>(index)].get();
  }

  // -1 when the item is not in the list.
  int IndexOf(const T* item) const {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].get() == item) return static_cast<int>(i);
    }
    return -1;
  }

  // Removes and frees the item; false when it is not in the list.
  bool Remove(const T* item) {
    const int index = IndexOf(item);
    if (index < 0) return false;
    RemoveAt(index);
    return true;
  }

  void RemoveAt(int index) {
    At(index);  // range check
    items_.erase(items_.begin() + index);
  }

  // Frees every item.
  void Clear() { items_.clear(); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

}  // namespace dbase
