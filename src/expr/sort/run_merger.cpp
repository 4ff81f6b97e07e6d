// Tournament-of-losers merge of sort runs.
#include "expr/sort/run_merger.h"

#include <utility>

namespace dbase {

void RunMerger::Start(std::vector<PageCollection*> runs, const KeyOrder* order) {
  runs_ = std::move(runs);
  order_ = order;
  losers_.assign(runs_.size(), 0);
  if (!runs_.empty()) losers_[0] = Build(1);
}

bool RunMerger::Beats(int a, int b) const {
  const PageCollection* ra = runs_[static_cast<size_t>(a)];
  const PageCollection* rb = runs_[static_cast<size_t>(b)];
  if (ra->exhausted()) return rb->exhausted() && a < b;
  if (rb->exhausted()) return true;
  // Most heads differ in their first 8 key bytes: one integer comparison decides.
  if (order_->byte_order() && ra->head_length() >= 8 + kSortRecordBytes && rb->head_length() >= 8 + kSortRecordBytes) {
    const uint64_t pa = ra->head_prefix();
    const uint64_t pb = rb->head_prefix();
    if (pa != pb) return order_->ascending() ? pa < pb : pa > pb;
  }
  const int c = order_->Compare(ra->head(), ra->head_length(), rb->head(), rb->head_length());
  return c < 0 || (c == 0 && a < b);
}

// Leaves are the nodes k..2k-1 (run i at node k + i); internal node j has children 2j, 2j+1.
int RunMerger::Build(int node) {
  const int k = static_cast<int>(runs_.size());
  if (node >= k) return node - k;
  const int left = Build(2 * node);
  const int right = Build(2 * node + 1);
  if (Beats(left, right)) {
    losers_[static_cast<size_t>(node)] = right;
    return left;
  }
  losers_[static_cast<size_t>(node)] = left;
  return right;
}

PageCollection* RunMerger::Top() const {
  if (runs_.empty()) return nullptr;
  PageCollection* top = runs_[static_cast<size_t>(losers_[0])];
  return top->exhausted() ? nullptr : top;
}

void RunMerger::AdvanceTop() {
  if (runs_.empty()) return;
  int winner = losers_[0];
  runs_[static_cast<size_t>(winner)]->Advance();
  const int k = static_cast<int>(runs_.size());
  for (int node = (winner + k) / 2; node >= 1; node /= 2) {
    int& loser = losers_[static_cast<size_t>(node)];
    if (Beats(loser, winner)) std::swap(loser, winner);
  }
  losers_[0] = winner;
}

}  // namespace dbase

