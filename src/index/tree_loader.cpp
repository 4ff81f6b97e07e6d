// TreeLoader: bottom-up page writing for every format.
#include "index/tree_loader.h"

#include "index/index_tag.h"

namespace dbase {

TreeLoader::TreeLoader(IndexTag& tag) : tag_(tag) {}

IndexKey& TreeLoader::Page(size_t level) {
  if (level >= static_cast<size_t>(kMaxTreeDepth)) tag_.Corrupted();
  while (levels_.size() <= level) {
    auto page = std::make_unique<IndexKey>(tag_.key_length());
    page->leaf = levels_.empty();
    tag_.AllocatePage(*page);
    levels_.push_back(std::move(page));
  }
  return *levels_[level];
}

PageRef TreeLoader::StartNext(size_t level) {
  IndexKey& full = *levels_[level];
  auto next = std::make_unique<IndexKey>(tag_.key_length());
  next->leaf = full.leaf;
  tag_.AllocatePage(*next);
  if (tag_.has_siblings_) {
    full.right = next->page;
    next->left = full.page;
  }
  tag_.WritePage(full);
  const PageRef written = full.page;
  levels_[level] = std::move(next);
  return written;
}

void TreeLoader::Add(const std::string& key, int32_t record, bool last) {
  const auto* k = reinterpret_cast<const uint8_t*>(key.data());
  IndexKey& p = Page(0);
  if (tag_.BuildPageFull(p)) {
    if (tag_.interior_data_) {
      if (!last) {
        const PageRef closed = StartNext(0);
        AddAt(1, k, record, closed, false);
        return;
      }
      // The last key would leave an empty leaf: the page's own last key moves up instead.
      const int n = p.count() - 1;
      separator_.assign(reinterpret_cast<const char*>(p.key(n)), static_cast<size_t>(tag_.key_length()));
      const int32_t sep_record = p.record(n);
      p.Remove(n);
      const PageRef closed = StartNext(0);
      AddAt(1, reinterpret_cast<const uint8_t*>(separator_.data()), sep_record, closed, false);
    } else {
      const int n = p.count() - 1;
      separator_.assign(reinterpret_cast<const char*>(p.key(n)), static_cast<size_t>(tag_.key_length()));
      const int32_t sep_record = p.record(n);
      const PageRef closed = StartNext(0);
      AddAt(1, reinterpret_cast<const uint8_t*>(separator_.data()), sep_record, closed, false);
    }
  }
  Page(0).Append(k, record, static_cast<PageRef>(record));
}

void TreeLoader::AddAt(size_t level, const uint8_t* key, int32_t record, PageRef ref, bool keyless) {
  IndexKey& p = Page(level);
  if (!keyless && tag_.BuildPageFull(p)) {
    const int n = p.count() - 1;
    const std::string sep(reinterpret_cast<const char*>(p.key(n)), static_cast<size_t>(tag_.key_length()));
    const int32_t sep_record = p.record(n);
    // With interior data the last key moves up and its child ends the page.
    if (tag_.interior_data_) p.SetKeyless(n, true);
    const PageRef closed = StartNext(level);
    AddAt(level + 1, reinterpret_cast<const uint8_t*>(sep.data()), sep_record, closed, false);
  }
  Page(level).Append(key, record, ref, keyless);
}

PageRef TreeLoader::Finish() {
  if (levels_.empty()) {
    tag_.MakeEmptyRoot();
    return tag_.root();
  }
  for (size_t level = 0;; ++level) {
    IndexKey& p = *levels_[level];
    if (level + 1 == levels_.size()) {
      tag_.root_ = p.page;
      tag_.WritePage(p);
      return p.page;
    }
    if (tag_.interior_data_) {
      tag_.WritePage(p);
      AddAt(level + 1, nullptr, 0, p.page, true);
    } else {
      const std::string sep(reinterpret_cast<const char*>(p.key(p.count() - 1)), static_cast<size_t>(tag_.key_length()));
      const int32_t sep_record = p.record(p.count() - 1);
      tag_.WritePage(p);
      AddAt(level + 1, reinterpret_cast<const uint8_t*>(sep.data()), sep_record, p.page, false);
    }
  }
}

}  // namespace dbase
