// RunMerger: picks, among the heads of the runs that are not exhausted, the first in sort order
// (on equal heads the earlier run), using a tournament of losers so each step costs about
// log2(runs) comparisons. The first 8 bytes and the length of every head are kept side by side,
// so that most comparisons touch neither the runs nor their pages.
#pragma once

#include <cstdint>
#include <vector>

#include "expr/sort/key_order.h"
#include "expr/sort/page_collection.h"

namespace dbase {

class RunMerger {
 public:
  // The runs stay owned by the caller and must outlive the merger's use.
  void Start(std::vector<PageCollection*> runs, const KeyOrder* order);
  // The run whose head comes next; nullptr when every run is exhausted.
  PageCollection* Top() const;
  // Advances the top run and finds the next top.
  void AdvanceTop();

 private:
  struct Head {
    uint64_t prefix;  // PageCollection::head_prefix
    int length;       // 0 when the run is exhausted
  };
  bool Beats(int a, int b) const;
  int Build(int node);
  void Load(int run);

  std::vector<PageCollection*> runs_;
  std::vector<Head> heads_;
  std::vector<int> losers_;  // losers_[0] holds the winner; 1..k-1 the losers of each match
  const KeyOrder* order_ = nullptr;
  bool byte_order_ = true;
  bool ascending_ = true;
};

}  // namespace dbase
