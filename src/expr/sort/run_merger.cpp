// Tournament-of-losers merge of sort runs.
#include "expr/sort/run_merger.h"

#include <utility>

namespace dbase {

void RunMerger::Start(std::vector<PageCollection*> runs, const KeyOrder* order) {
  runs_ = std::move(runs);
  order_ = order;
  byte_order_ = order->byte_order();
  ascending_ = order->ascending();
  heads_.assign(runs_.size(), Head{0, 0});
  for (size_t i = 0; i < runs_.size(); ++i) Load(static_cast<int>(i));
  losers_.assign(runs_.size(), 0);
  if (!runs_.empty()) losers_[0] = Build(1);
}

void RunMerger::Load(int run) {
  const PageCollection* r = runs_[static_cast<size_t>(run)];
  Head& h = heads_[static_cast<size_t>(run)];
  h.length = r->exhausted() ? 0 : r->head_length();
  h.prefix = r->head_prefix();
}

inline bool RunMerger::Beats(int a, int b) const {
  const Head& ha = heads_[static_cast<size_t>(a)];
  const Head& hb = heads_[static_cast<size_t>(b)];
  if (ha.length == 0) return hb.length == 0 && a < b;
  if (hb.length == 0) return true;
  // Most heads differ in their first 8 bytes: one integer comparison decides when those bytes
  // compare as the keys do, that is when both are key bytes or both heads have one length
  // (their key parts then end at the same place). Equal heads of 8 bytes or less are equal.
  if (byte_order_ && (ha.length == hb.length ||
                      (ha.length >= 8 + kSortRecordBytes && hb.length >= 8 + kSortRecordBytes))) {
    if (ha.prefix != hb.prefix) return ascending_ ? ha.prefix < hb.prefix : ha.prefix > hb.prefix;
    if (ha.length == hb.length && ha.length <= 8) return a < b;
  }
  const PageCollection* ra = runs_[static_cast<size_t>(a)];
  const PageCollection* rb = runs_[static_cast<size_t>(b)];
  const int c = order_->Compare(ra->head(), ha.length, rb->head(), hb.length);
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
  const int top = losers_[0];
  return heads_[static_cast<size_t>(top)].length == 0 ? nullptr : runs_[static_cast<size_t>(top)];
}

void RunMerger::AdvanceTop() {
  if (runs_.empty()) return;
  int winner = losers_[0];
  runs_[static_cast<size_t>(winner)]->Advance();
  Load(winner);
  const int k = static_cast<int>(runs_.size());
  for (int node = (winner + k) / 2; node >= 1; node /= 2) {
    int& loser = losers_[static_cast<size_t>(node)];
    // Which of two random keys wins cannot be predicted: swap without a branch.
    const int swap = -static_cast<int>(Beats(loser, winner));
    const int change = (loser ^ winner) & swap;
    loser ^= change;
    winner ^= change;
  }
  losers_[0] = winner;
}

}  // namespace dbase
