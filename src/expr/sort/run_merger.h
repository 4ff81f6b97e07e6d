// RunMerger: picks, among the heads of the runs that are not exhausted, the first in sort order
// (on equal heads the earlier run), using a tournament of losers so each step costs about
// log2(runs) comparisons.
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
  bool Beats(int a, int b) const;
  int Build(int node);

  std::vector<PageCollection*> runs_;
  std::vector<int> losers_;  // losers_[0] holds the winner; 1..k-1 the losers of each match
  const KeyOrder* order_ = nullptr;
};

}  // namespace dbase
