// IndexTag, changes to the tree: inserting and deleting entries, splitting pages that no longer
// fit, keeping parent entries on their children's last keys, and removing or refilling pages
// that became empty. Every change writes its pages before it returns and frees the path, so the
// file is whole whenever the index lock is released.
#include <algorithm>

#include "index/index_file.h"
#include "index/index_tag.h"

namespace dbase {

void IndexTag::SetRoot(PageRef root) {
  root_ = root;
  header_changed_ = true;
}

void IndexTag::WriteExtra(IndexKey& page) {
  WritePage(page);
  page.changed = false;
}

void IndexTag::WriteChanged() {
  for (auto& p : path_) {
    if (p->changed) {
      WritePage(*p);
      p->changed = false;
    }
  }
  if (header_changed_) WriteHeader();
}

bool IndexTag::InsertKey(const std::string& key, int32_t record) {
  Refresh();
  std::string k = key;
  k.resize(static_cast<size_t>(key_length_), static_cast<char>(fill_));
  if (unique_) {
    const SearchKey s{k, 0, false};
    Descend(s, false);
    if (SettleForward() && CompareSearch(s, *path_.back(), path_.back()->position) == 0) return false;
  }
  // Equal keys: in record order, or after the ones there (before them in a descending tree).
  Descend(SearchKey{k, record, record_ordered_}, !record_ordered_ && !stored_descending_);
  InsertAtLeaf(k, record);
  WriteChanged();
  Release();
  current_ = IndexKeyData{k, record, static_cast<PageRef>(record)};
  bof_ = eof_ = false;
  return true;
}

bool IndexTag::DeleteKey(const std::string& key, int32_t record) {
  Refresh();
  std::string k = key;
  k.resize(static_cast<size_t>(key_length_), static_cast<char>(fill_));
  if (!FindEntry(SearchKey{k, record, true})) return false;
  RemoveAt(path_.size() - 1);
  CollapseRoot();
  WriteChanged();
  Release();
  if (current_.record == record && current_.key == k) current_ = IndexKeyData{};
  return true;
}

void IndexTag::InsertAtLeaf(const std::string& key, int32_t record) {
  const size_t level = path_.size() - 1;
  IndexKey& leaf = *path_[level];
  const int i = std::min(leaf.position, leaf.count());
  leaf.Insert(i, reinterpret_cast<const uint8_t*>(key.data()), record, static_cast<PageRef>(record));
  leaf.position = i;
  if (!interior_data_ && i == leaf.count() - 1) AfterLastChanged(level);
  SplitIfNeeded(level);
}

// The page at `level` has a new last entry: its parent's entry carries that key, and so on up
// while the entry changed is the last of its page.
void IndexTag::AfterLastChanged(size_t level) {
  while (level > 0) {
    const IndexKey& child = *path_[level];
    IndexKey& parent = *path_[level - 1];
    const int i = parent.position;
    if (child.empty() || child.keyless(child.count() - 1) || parent.keyless(i)) return;
    parent.SetKey(i, child.key(child.count() - 1), child.record(child.count() - 1));
    if (i != parent.count() - 1) return;
    --level;
  }
}

void IndexTag::SplitIfNeeded(size_t level) {
  for (;;) {
    bool split = false;
    while (!PageFits(*path_[level])) {
      const bool root = level == 0;
      Split(level);
      split = true;
      if (root) ++level;
    }
    if (!split || level == 0) return;
    --level;
  }
}

// The first entries of the page go to a new page on its left; the parent gets an entry for it
// before the page's own. In a tree with interior data the last of those entries moves up
// instead of being copied.
void IndexTag::Split(size_t level) {
  IndexKey& page = *path_[level];
  const int h = SplitPoint(page);
  const int minimum = interior_data_ ? 2 : 1;
  if (page.count() < minimum + 1 || h < minimum || h >= page.count()) Corrupted();

  IndexKey left(key_length_);
  left.leaf = page.leaf;
  AllocatePage(left);
  std::string sep_key;
  int32_t sep_record = 0;
  if (interior_data_) {
    page.MoveHead(h - 1, left);
    sep_key.assign(reinterpret_cast<const char*>(page.key(0)), static_cast<size_t>(key_length_));
    sep_record = page.record(0);
    if (!page.leaf) left.Append(nullptr, 0, page.ref(0), true);  // its child ends the left page
    page.Remove(0);
  } else {
    page.MoveHead(h, left);
    sep_key.assign(reinterpret_cast<const char*>(left.key(left.count() - 1)), static_cast<size_t>(key_length_));
    sep_record = left.record(left.count() - 1);
  }
  if (page.position >= 0) page.position = std::max(0, page.position - h);
  if (has_siblings_) {
    const PageRef old_left = page.left;
    left.left = old_left;
    left.right = page.page;
    page.left = left.page;
    if (old_left != kNoPage) {
      auto sibling = LoadPage(old_left);
      sibling->right = left.page;
      WriteExtra(*sibling);
    }
  }
  page.changed = true;
  WriteExtra(left);

  const auto* sep = reinterpret_cast<const uint8_t*>(sep_key.data());
  if (level == 0) {
    auto root = std::make_unique<IndexKey>(key_length_);
    root->leaf = false;
    AllocatePage(*root);
    root->Append(sep, sep_record, left.page);
    if (keyed_rightmost_) {
      root->Append(page.key(page.count() - 1), page.record(page.count() - 1), page.page);
    } else {
      root->Append(nullptr, 0, page.page, true);
    }
    root->position = 1;
    path_.insert(path_.begin(), std::move(root));
    SetRoot(path_[0]->page);
    return;
  }
  IndexKey& parent = *path_[level - 1];
  parent.Insert(parent.position, sep, sep_record, left.page);
  parent.position += 1;
}

// Removes the entry the path stands on.
void IndexTag::RemoveAt(size_t level) {
  IndexKey& p = *path_[level];
  if (!p.leaf) {
    // A key of a branch (interior data): its predecessor, the last key of the child before it,
    // takes its place.
    const int i = p.position;
    PushChild(p.ref(i));
    for (;;) {
      IndexKey& q = *path_.back();
      q.position = q.count() - 1;
      if (q.leaf) break;
      if (q.count() == 0) Corrupted();
      PushChild(q.ref(q.position));
    }
    IndexKey& leaf = *path_.back();
    if (leaf.empty()) Corrupted();
    const int last = leaf.count() - 1;
    path_[level]->SetKey(i, leaf.key(last), leaf.record(last));
    leaf.Remove(last);
    if (leaf.empty()) RebalanceEmpty(path_.size() - 1);
    return;
  }
  const int i = p.position;
  p.Remove(i);
  if (interior_data_) {
    if (p.empty() && level > 0) RebalanceEmpty(level);
    return;
  }
  if (p.empty() && level > 0) {
    RemoveEmptyPage(level);
  } else if (i == p.count() && !p.empty()) {
    AfterLastChanged(level);
  }
}

void IndexTag::RelinkSiblings(PageRef page, PageRef left, PageRef right) {
  (void)page;
  if (left != kNoPage) {
    auto l = LoadPage(left);
    l->right = right;
    WriteExtra(*l);
  }
  if (right != kNoPage) {
    auto r = LoadPage(right);
    r->left = left;
    WriteExtra(*r);
  }
}

// An empty page leaves its parent (all keys in leaves).
void IndexTag::RemoveEmptyPage(size_t level) {
  while (level > 0) {
    IndexKey& page = *path_[level];
    if (has_siblings_) RelinkSiblings(page.page, page.left, page.right);
    page.changed = false;
    IndexKey& parent = *path_[level - 1];
    const int i = parent.position;
    parent.Remove(i);
    path_.resize(level);
    --level;
    if (!parent.empty()) {
      if (i == parent.count()) {
        // The parent's last child is gone; where the format stores no key for the rightmost
        // child the new last entry becomes keyless.
        if (!keyed_rightmost_) parent.SetKeyless(i - 1, true);
        AfterLastChanged(level);
      }
      return;
    }
  }
}

// A page of a tree with interior data that lost its last key borrows the key between it and a
// neighbour (and the neighbour's nearest key moves up), or merges into the neighbour with that
// key when the neighbour has room; a merge takes a key from the parent, so the parent is
// looked at next.
void IndexTag::RebalanceEmpty(size_t level) {
  while (level > 0) {
    IndexKey& x = *path_[level];
    if ((x.leaf ? x.count() : x.keyed_count()) > 0) return;
    if (!x.leaf && x.empty()) Corrupted();
    IndexKey& p = *path_[level - 1];
    const int i = p.position;
    const int n = p.keyed_count();
    if (n == 0) {
      --level;
      continue;
    }
    bool merged = false;
    if (i < n) {
      auto r = LoadPage(p.ref(i + 1));
      const int room = r->leaf ? r->count() : r->keyed_count();
      if (x.leaf) {
        if (room < max_keys_) {
          r->Insert(0, p.key(i), p.record(i), static_cast<PageRef>(p.record(i)));
          merged = true;
        } else {
          x.Append(p.key(i), p.record(i), static_cast<PageRef>(p.record(i)));
          p.SetKey(i, r->key(0), r->record(0));
          r->Remove(0);
        }
      } else {
        const PageRef c = x.ref(0);
        if (room < max_keys_) {
          r->Insert(0, p.key(i), p.record(i), c);
          merged = true;
        } else {
          x.Clear();
          x.Append(p.key(i), p.record(i), c);
          x.Append(nullptr, 0, r->ref(0), true);
          p.SetKey(i, r->key(0), r->record(0));
          r->Remove(0);
        }
      }
      WriteExtra(*r);
      if (merged) p.Remove(i);
    } else {
      auto l = LoadPage(p.ref(i - 1));
      const int last = l->count() - 1;
      const int room = l->leaf ? l->count() : l->keyed_count();
      if (last < 0 || (!l->leaf && last < 1)) Corrupted();
      if (x.leaf) {
        if (room < max_keys_) {
          l->Append(p.key(i - 1), p.record(i - 1), static_cast<PageRef>(p.record(i - 1)));
          merged = true;
        } else {
          x.Append(p.key(i - 1), p.record(i - 1), static_cast<PageRef>(p.record(i - 1)));
          p.SetKey(i - 1, l->key(last), l->record(last));
          l->Remove(last);
        }
      } else {
        const PageRef c = x.ref(0);
        if (room < max_keys_) {
          l->SetKey(last, p.key(i - 1), p.record(i - 1));
          l->Append(nullptr, 0, c, true);
          merged = true;
        } else {
          const PageRef moved = l->ref(last);
          x.Clear();
          x.Append(p.key(i - 1), p.record(i - 1), moved);
          x.Append(nullptr, 0, c, true);
          p.SetKey(i - 1, l->key(last - 1), l->record(last - 1));
          l->Remove(last);
          l->SetKeyless(last - 1, true);
        }
      }
      WriteExtra(*l);
      if (merged) {
        p.SetKeyless(i - 1, true);
        p.Remove(i);
      }
    }
    if (!merged) return;
    x.changed = false;
    path_.resize(level);
    --level;
  }
}

// A root branch left with one child gives way to it; one left with none becomes an empty leaf.
void IndexTag::CollapseRoot() {
  for (;;) {
    IndexKey& root = *path_[0];
    if (root.leaf) return;
    if (root.empty()) {
      root.leaf = true;
      root.changed = true;
      return;
    }
    if (root.count() != 1) return;
    const PageRef child = root.ref(0);
    root.changed = false;
    if (path_.size() > 1 && path_[1]->page == child) {
      path_.erase(path_.begin());
    } else {
      path_.clear();
      path_.push_back(LoadPage(child));
    }
    SetRoot(child);
    path_[0]->changed = true;  // formats that mark the root in the page rewrite it
  }
}

}  // namespace dbase
