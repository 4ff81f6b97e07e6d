// TreeLoader: writes a tag's tree bottom-up from keys given in order. Each level fills one page
// at a time; a full page is written and an entry for it goes to the level above: a copy of its
// last key where every key lives in a leaf, or, in a tree with interior data (NTX), the key
// that follows it, which then lives in the branch. Pages are allocated when started, so a page
// knows its right neighbour when it is written.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "index/index_key.h"

namespace dbase {

class IndexTag;

class TreeLoader {
 public:
  explicit TreeLoader(IndexTag& tag);
  // The next key in order (key length bytes); `last` when no key follows.
  void Add(const std::string& key, int32_t record, bool last);
  // Writes the open pages; returns the root.
  PageRef Finish();

 private:
  IndexKey& Page(size_t level);
  void AddAt(size_t level, const uint8_t* key, int32_t record, PageRef ref, bool keyless);
  // Writes the full page of `level` and starts the next; returns the written page.
  PageRef StartNext(size_t level);

  IndexTag& tag_;
  std::vector<std::unique_ptr<IndexKey>> levels_;
  std::string separator_;
};

}  // namespace dbase
