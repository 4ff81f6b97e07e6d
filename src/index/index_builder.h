// IndexBuilder: builds a tag from its table through KeySort. It collects the key of every record
// that passes the FOR condition (reporting status operation 1), then takes the keys back in
// order and hands them to a TreeLoader that writes the pages bottom-up (operation 2).
#pragma once

#include "expr/sort/key_sort.h"

namespace dbase {

class IndexTag;

class IndexBuilder : public KeySort {
 public:
  explicit IndexBuilder(IndexTag& tag);
  // Collects, sorts and writes the tag; its root and header are written last.
  void Run();

 private:
  void Collect();
  void Load();

  IndexTag& tag_;
};

}  // namespace dbase
