// IndexTag, the walker: descent from the root, stepping through the tree in stored and in the
// tag's order, seeks, ranges and positioning requests.
#include <algorithm>

#include "index/index_file.h"
#include "index/index_tag.h"

namespace dbase {

namespace {
// Consecutive empty leaves one step may pass; a sound tree has none but an empty root.
constexpr int kMaxEmptyLeaves = 1000;
constexpr size_t kKeptPages = 64;
}  // namespace

void IndexTag::Corrupted() const { file_.Corrupted(); }

int IndexTag::CompareSearch(const SearchKey& s, const IndexKey& page, int i) const {
  if (page.keyless(i)) return -1;
  int c = CompareKeyForm(key_form_, reinterpret_cast<const uint8_t*>(s.key.data()), static_cast<int>(s.key.size()),
                         page.key(i), key_length_);
  if (stored_descending_) c = -c;
  if (c == 0 && s.with_record && record_ordered_) {
    const int32_t r = page.record(i);
    c = s.record < r ? -1 : (s.record > r ? 1 : 0);
  }
  return c;
}

bool IndexTag::SearchBefore(const SearchKey& s, const IndexKey& page, int i, bool strict) const {
  const int c = CompareSearch(s, page, i);
  return strict ? c < 0 : c <= 0;
}

std::unique_ptr<IndexKey> IndexTag::LoadPage(PageRef page) {
  for (size_t i = 0; i < kept_.size(); ++i) {
    if (kept_[i]->page == page) {
      std::unique_ptr<IndexKey> p = std::move(kept_[i]);
      kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(i));
      p->position = -1;
      return p;
    }
  }
  auto p = std::make_unique<IndexKey>(key_length_);
  p->Reserve(max_keys_ + 2);
  ReadPage(page, *p);
  p->page = page;
  p->changed = false;
  p->position = -1;
  return p;
}

void IndexTag::LoadRoot() {
  if (path_valid_ && !path_.empty() && path_[0]->page == root_) return;
  TrimPath(0);
  path_.push_back(LoadPage(root_));
  path_valid_ = true;
}

void IndexTag::TrimPath(size_t n) {
  while (path_.size() > n) {
    std::unique_ptr<IndexKey> p = std::move(path_.back());
    path_.pop_back();
    if (p->changed) continue;
    if (kept_.size() >= kKeptPages) kept_.erase(kept_.begin());
    kept_.push_back(std::move(p));
  }
}

void IndexTag::PushChild(PageRef page) {
  if (path_.size() >= static_cast<size_t>(kMaxTreeDepth)) Corrupted();
  for (const auto& p : path_) {
    if (p->page == page) Corrupted();  // a page inside its own subtree
  }
  path_.push_back(LoadPage(page));
}

void IndexTag::Release() {
  path_.clear();
  kept_.clear();
  path_valid_ = false;
}

// Chooses in every page the first entry the search sorts before (or at); a leaf ends with its
// position there, possibly at its end.
void IndexTag::Descend(const SearchKey& s, bool strict) {
  LoadRoot();
  TrimPath(1);
  for (;;) {
    IndexKey& p = *path_.back();
    int lo = 0;
    int hi = p.count();
    while (lo < hi) {
      const int mid = lo + (hi - lo) / 2;
      if (SearchBefore(s, p, mid, strict)) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    p.position = lo;
    if (p.leaf) return;
    if (p.count() == 0) Corrupted();
    // Above every key of the page: the last child's subtree ends where the search would go.
    if (lo == p.count()) p.position = p.count() - 1;
    PushChild(p.ref(p.position));
  }
}

bool IndexTag::AtEntry() const {
  if (!path_valid_ || path_.empty()) return false;
  const IndexKey& p = *path_.back();
  if (p.position < 0 || p.position >= p.count()) return false;
  return p.leaf || (interior_data_ && !p.keyless(p.position));
}

void IndexTag::TakeCurrent() {
  const IndexKey& p = *path_.back();
  current_.key.assign(reinterpret_cast<const char*>(p.key(p.position)), static_cast<size_t>(key_length_));
  current_.record = p.record(p.position);
  current_.ref = p.ref(p.position);
}

// From the last page of the path down its first children to a leaf; false when that leaf is
// empty (its position is then its end).
bool IndexTag::SinkFirst() {
  for (;;) {
    IndexKey& p = *path_.back();
    p.position = 0;
    if (p.leaf) return p.count() > 0;
    if (p.count() == 0) Corrupted();
    PushChild(p.ref(0));
  }
}

bool IndexTag::SinkLast() {
  for (;;) {
    IndexKey& p = *path_.back();
    p.position = p.count() - 1;
    if (p.leaf) return p.count() > 0;
    if (p.count() == 0) Corrupted();
    PushChild(p.ref(p.position));
  }
}

// From a leaf at its end to the next entry in stored order; false at the end of the tree.
bool IndexTag::ClimbNext() {
  int empties = 0;
  for (;;) {
    for (;;) {
      if (path_.size() == 1) {
        path_.back()->position = path_.back()->count();
        return false;
      }
      TrimPath(path_.size() - 1);
      IndexKey& p = *path_.back();
      const int i = p.position;
      if (interior_data_) {
        if (i < p.count() && !p.keyless(i)) return true;  // the key after that child
      } else if (i + 1 < p.count()) {
        p.position = i + 1;
        PushChild(p.ref(i + 1));
        break;
      }
    }
    if (SinkFirst()) return true;
    if (interior_data_) continue;
    if (++empties > kMaxEmptyLeaves) Corrupted();
  }
}

bool IndexTag::ClimbPrev() {
  int empties = 0;
  for (;;) {
    for (;;) {
      if (path_.size() == 1) {
        path_.back()->position = -1;
        return false;
      }
      TrimPath(path_.size() - 1);
      IndexKey& p = *path_.back();
      const int i = p.position;
      if (i > 0) {
        p.position = i - 1;
        if (interior_data_) return true;  // the key before that child
        PushChild(p.ref(i - 1));
        break;
      }
    }
    if (SinkLast()) return true;
    if (interior_data_) continue;
    if (++empties > kMaxEmptyLeaves) Corrupted();
  }
}

bool IndexTag::StorageFirst() {
  LoadRoot();
  TrimPath(1);
  return SinkFirst() || ClimbNext();
}

bool IndexTag::StorageLast() {
  LoadRoot();
  TrimPath(1);
  return SinkLast() || ClimbPrev();
}

bool IndexTag::StorageNext() {
  IndexKey& p = *path_.back();
  if (!p.leaf) {  // on a key of a branch: the first key of the child after it
    p.position += 1;
    if (p.position >= p.count()) Corrupted();
    PushChild(p.ref(p.position));
    return SinkFirst() || ClimbNext();
  }
  if (++p.position < p.count()) return true;
  return ClimbNext();
}

bool IndexTag::StoragePrev() {
  IndexKey& p = *path_.back();
  if (!p.leaf) {  // on a key of a branch: the last key of the child before it
    PushChild(p.ref(p.position));
    return SinkLast() || ClimbPrev();
  }
  if (--p.position >= 0) return true;
  return ClimbPrev();
}

bool IndexTag::SettleForward() {
  IndexKey& p = *path_.back();
  if (p.position < p.count()) return true;
  return ClimbNext();
}

bool IndexTag::NavLowerBound(const SearchKey& s, bool strict) {
  if (!reverse_) {
    Descend(s, strict);
    return SettleForward();
  }
  Descend(s, !strict);
  return StoragePrev();
}

bool IndexTag::NavUpperBound(const SearchKey& s, bool strict) {
  if (!reverse_) {
    Descend(s, !strict);
    return StoragePrev();
  }
  Descend(s, strict);
  return SettleForward();
}

// The entry (key, record) in stored order. Files that keep duplicates in record order find it
// by a descent; others step through the equal keys.
bool IndexTag::FindEntry(const SearchKey& s) {
  if (record_ordered_) {
    Descend(s, false);
    if (!SettleForward()) return false;
    const IndexKey& p = *path_.back();
    return CompareSearch(s, p, p.position) == 0 && p.record(p.position) == s.record;
  }
  SearchKey k{s.key, 0, false};
  Descend(k, false);
  if (!SettleForward()) return false;
  for (;;) {
    const IndexKey& p = *path_.back();
    if (CompareSearch(k, p, p.position) != 0) return false;
    if (p.record(p.position) == s.record) return true;
    if (!StorageNext()) return false;
  }
}

void IndexTag::Refresh() {
  if (file_.shared() && !file_.locked() && ChangedByOther()) {
    const PageRef old_root = root_;
    ReadHeader();
    if (!ReloadPath(old_root)) Release();
  }
}

// The path stays when its pages, read again, still lead from the root to the entry it stood on:
// a walk then goes on from there instead of seeking its entry again by key, which in a file whose
// keys are not in the order of their values (one writer's numeric MDX keys) lands elsewhere.
bool IndexTag::ReloadPath(PageRef old_root) {
  kept_.clear();
  if (!path_valid_ || path_.empty() || root_ != old_root || path_[0]->page != root_) return false;
  for (size_t i = 0; i < path_.size(); ++i) {
    if (path_[i]->changed) return false;
    std::unique_ptr<IndexKey> fresh = LoadPage(path_[i]->page);
    fresh->position = path_[i]->position;
    if (fresh->leaf != path_[i]->leaf) return false;
    if (i > 0) {
      const IndexKey& parent = *path_[i - 1];
      if (parent.position < 0 || parent.position >= parent.count() || parent.ref(parent.position) != fresh->page) return false;
    }
    path_[i] = std::move(fresh);
  }
  return true;
}

// Puts the path back on the current entry: true when it is there; false when the entry is gone
// and the path stands on what followed it (or nothing follows: !AtEntry()).
bool IndexTag::EnsurePath() {
  if (AtEntry()) {
    const IndexKey& p = *path_.back();
    if (p.record(p.position) == current_.record &&
        std::equal(current_.key.begin(), current_.key.end(), reinterpret_cast<const char*>(p.key(p.position)))) {
      return true;
    }
  }
  SearchKey s{current_.key, current_.record, true};
  if (FindEntry(s)) return true;
  s.with_record = false;
  NavLowerBound(s, false);
  return false;
}

bool IndexTag::InRangeLow() const {
  const IndexKey& p = *path_.back();
  // In the tag's order the low bound comes first for ascending tags, last for descending ones.
  const bool first = !descending_;
  const std::string& bound = first ? range_low_ : range_high_;
  const bool has = first ? has_low_ : has_high_;
  const bool exclude = first ? exclude_low_ : exclude_high_;
  if (!has) return true;
  int c = CompareSearch(SearchKey{bound, 0, false}, p, p.position);
  if (reverse_) c = -c;
  return exclude ? c < 0 : c <= 0;
}

bool IndexTag::InRangeHigh() const {
  const IndexKey& p = *path_.back();
  const bool last_is_high = !descending_;
  const std::string& bound = last_is_high ? range_high_ : range_low_;
  const bool has = last_is_high ? has_high_ : has_low_;
  const bool exclude = last_is_high ? exclude_high_ : exclude_low_;
  if (!has) return true;
  int c = CompareSearch(SearchKey{bound, 0, false}, p, p.position);
  if (reverse_) c = -c;
  return exclude ? c > 0 : c >= 0;
}

// Applies the range in the direction of the move and takes the entry reached.
int32_t IndexTag::FinishPosition(bool ok, bool forward) {
  if (ok && has_range()) {
    const bool first_low = !descending_;
    const SearchKey first{first_low ? range_low_ : range_high_, 0, false};
    const SearchKey last{first_low ? range_high_ : range_low_, 0, false};
    const bool has_first = first_low ? has_low_ : has_high_;
    const bool has_last = first_low ? has_high_ : has_low_;
    const bool exclude_first = first_low ? exclude_low_ : exclude_high_;
    const bool exclude_last = first_low ? exclude_high_ : exclude_low_;
    if (forward) {
      if (has_first && !InRangeLow()) ok = NavLowerBound(first, exclude_first);
      if (ok && !InRangeHigh()) ok = false;
    } else {
      if (has_last && !InRangeHigh()) ok = NavUpperBound(last, exclude_last);
      if (ok && !InRangeLow()) ok = false;
    }
  }
  if (!ok) {
    current_ = IndexKeyData{};
    eof_ = forward;
    bof_ = !forward;
    return 0;
  }
  TakeCurrent();
  eof_ = bof_ = false;
  return current_.record;
}

int32_t IndexTag::Position(int request) {
  Refresh();
  found_ = false;
  const bool have = current_.record != 0;
  switch (request) {
    case -3: {
      const bool first_low = !descending_;
      const bool has_first = first_low ? has_low_ : has_high_;
      if (has_first) {
        const SearchKey first{first_low ? range_low_ : range_high_, 0, false};
        return FinishPosition(NavLowerBound(first, first_low ? exclude_low_ : exclude_high_), true);
      }
      return FinishPosition(NavFirst(), true);
    }
    case -4: {
      const bool last_high = !descending_;
      const bool has_last = last_high ? has_high_ : has_low_;
      if (has_last) {
        const SearchKey last{last_high ? range_high_ : range_low_, 0, false};
        return FinishPosition(NavUpperBound(last, last_high ? exclude_high_ : exclude_low_), false);
      }
      return FinishPosition(NavLast(), false);
    }
    case -1:
      if (!have) return eof_ ? FinishPosition(false, true) : Position(-3);
      if (!EnsurePath()) return FinishPosition(AtEntry(), true);
      return FinishPosition(NavNext(), true);
    case -2:
      if (!have) return bof_ ? FinishPosition(false, false) : Position(-4);
      if (!EnsurePath()) return FinishPosition(AtEntry() ? NavPrev() : NavLast(), false);
      return FinishPosition(NavPrev(), false);
    case -5:
      if (!have) return 0;
      if (!EnsurePath()) return FinishPosition(AtEntry(), true);
      return FinishPosition(true, true);
    default:
      return 0;
  }
}

int32_t IndexTag::Seek(std::string_view key) {
  Refresh();
  SearchKey s{std::string(key.substr(0, static_cast<size_t>(key_length_))), 0, false};
  if (key_form_ != KeyForm::Bytes || file_.exact()) s.key.resize(static_cast<size_t>(key_length_), static_cast<char>(fill_));
  const int32_t r = FinishPosition(NavLowerBound(s, false), true);
  found_ = r != 0 && CompareSearch(s, *path_.back(), path_.back()->position) == 0;
  return found_ ? r : 0;
}

int32_t IndexTag::SeekLast(std::string_view key) {
  Refresh();
  SearchKey s{std::string(key.substr(0, static_cast<size_t>(key_length_))), 0, false};
  if (key_form_ != KeyForm::Bytes || file_.exact()) s.key.resize(static_cast<size_t>(key_length_), static_cast<char>(fill_));
  if (NavUpperBound(s, false) && CompareSearch(s, *path_.back(), path_.back()->position) == 0) {
    const int32_t r = FinishPosition(true, false);
    found_ = r != 0;
    if (found_) return r;
  }
  return Seek(key);
}

bool IndexTag::PositionOn(const std::string& key, int32_t record) {
  Refresh();
  if (!FindEntry(SearchKey{key, record, true})) return false;
  TakeCurrent();
  bof_ = eof_ = false;
  return true;
}

bool IndexTag::Resync(int32_t record) {
  if (current_.record == record && AtEntry()) return true;
  return PositionOn(RecordKey(), record);
}

void IndexTag::SetRange(const Value& low, const Value& high, bool exclude_low, bool exclude_high) {
  auto bound = [this](const Value& v, std::string* out) {
    if (v.kind() == ValueKind::Empty || v.length() == 0) return false;
    Value trimmed = v;
    if (trimmed.kind() == ValueKind::Text) trimmed.TrimText();
    *out = ConvertKey(trimmed, true);
    return !out->empty();
  };
  has_low_ = bound(low, &range_low_);
  has_high_ = bound(high, &range_high_);
  exclude_low_ = exclude_low;
  exclude_high_ = exclude_high;
  Position(-3);
}

void IndexTag::ClearRange() {
  has_low_ = has_high_ = false;
  exclude_low_ = exclude_high_ = false;
  range_low_.clear();
  range_high_.clear();
}

}  // namespace dbase
