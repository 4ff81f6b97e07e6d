// The structural check of index tags.
#include "index/index_check.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "dbf/errors.h"
#include "index/index_file.h"
#include "index/index_table.h"
#include "index/index_tag.h"

namespace dbase {

namespace {
std::string HexOf(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}
}  // namespace

class IndexChecker {
 public:
  IndexChecker(IndexTag& tag, CheckScope scope) : tag_(tag), scope_(scope) {}

  std::string Run() {
    tag_.Release();
    std::string problem;
    try {
      problem = CheckPages();
      if (problem.empty()) problem = CheckContents();
    } catch (const EngineError& e) {
      problem = e.what();
    }
    tag_.Release();
    return problem.empty() ? "" : "Tag " + tag_.name() + ": " + problem;
  }

 private:
  struct Bound {
    std::string key;  // empty: none
    int32_t record = 0;
  };

  // Stored-order comparison of two full keys (records decide in record-ordered tags).
  int Compare(const std::string& a, int32_t ra, const std::string& b, int32_t rb) const {
    SearchKey s{a, ra, true};
    IndexKey page(tag_.key_length_);
    page.Append(reinterpret_cast<const uint8_t*>(b.data()), rb, 0);
    return tag_.CompareSearch(s, page, 0);
  }

  std::string Key(const IndexKey& p, int i) const {
    return std::string(reinterpret_cast<const char*>(p.key(i)), static_cast<size_t>(tag_.key_length_));
  }

  std::string At(PageRef page) const { return "page " + std::to_string(page) + ": "; }

  std::string CheckPages() {
    struct Visit {
      PageRef page;
      int depth;
      Bound low;
      Bound high;
    };
    std::vector<Visit> stack{{tag_.root_, 0, {}, {}}};
    std::set<PageRef> seen;
    std::map<int, std::vector<std::pair<PageRef, std::pair<PageRef, PageRef>>>> levels;
    int leaf_depth = -1;
    while (!stack.empty()) {
      const Visit v = stack.back();
      stack.pop_back();
      if (!seen.insert(v.page).second) return At(v.page) + "reached twice";
      if (v.depth > kMaxTreeDepth) return At(v.page) + "tree too deep";
      auto p = tag_.LoadPage(v.page);
      levels[v.depth].push_back({v.page, {p->left, p->right}});
      if (!tag_.PageFits(*p)) return At(v.page) + "holds more entries than fit";
      if (p->leaf) {
        if (leaf_depth < 0) leaf_depth = v.depth;
        if (leaf_depth != v.depth) return At(v.page) + "leaf at another depth";
        if (p->empty() && v.depth > 0) return At(v.page) + "empty leaf";
      } else if (p->empty()) {
        return At(v.page) + "empty branch";
      }
      for (int i = 0; i < p->count(); ++i) {
        if (p->keyless(i)) {
          if (p->leaf || i != p->count() - 1) return At(v.page) + "entry without key";
          continue;
        }
        const std::string k = Key(*p, i);
        if (!v.low.key.empty() && Compare(k, p->record(i), v.low.key, v.low.record) < 0) {
          return At(v.page) + "key " + HexOf(k) + " below its parent's bound";
        }
        if (!v.high.key.empty() && Compare(k, p->record(i), v.high.key, v.high.record) > 0) {
          return At(v.page) + "key " + HexOf(k) + " above its parent's bound";
        }
        if (i > 0 && !p->keyless(i - 1) && Compare(Key(*p, i - 1), p->record(i - 1), k, p->record(i)) > 0) {
          return At(v.page) + "keys out of order at entry " + std::to_string(i);
        }
      }
      if (p->leaf) continue;
      // Children pushed last first, so that pages are visited left to right.
      for (int i = p->count() - 1; i >= 0; --i) {
        Bound low = i == 0 ? v.low : Bound{Key(*p, i - 1), p->record(i - 1)};
        Bound high = p->keyless(i) ? v.high : Bound{Key(*p, i), p->record(i)};
        if (!tag_.record_ordered_) low.record = high.record = 0;
        stack.push_back({p->ref(i), v.depth + 1, low, high});
      }
    }
    if (tag_.has_siblings_) {
      for (const auto& [depth, pages] : levels) {
        for (size_t i = 0; i < pages.size(); ++i) {
          const PageRef left = i == 0 ? kNoPage : pages[i - 1].first;
          const PageRef right = i + 1 == pages.size() ? kNoPage : pages[i + 1].first;
          if (pages[i].second.first != left || pages[i].second.second != right) {
            return At(pages[i].first) + "sibling links disagree with the tree";
          }
        }
      }
    }
    return "";
  }

  std::string CheckContents() {
    // Entries in stored order, each after the one before.
    std::vector<std::pair<std::string, int32_t>> entries;
    std::string previous;
    int32_t previous_record = 0;
    bool first = true;
    std::string problem;
    tag_.ForEachEntry([&](const IndexKey& p, int i, int) {
      const std::string k = Key(p, i);
      if (problem.empty() && !first && Compare(previous, previous_record, k, p.record(i)) > 0) {
        problem = "key " + HexOf(k) + " of record " + std::to_string(p.record(i)) + " out of order";
      }
      previous = k;
      previous_record = p.record(i);
      first = false;
      entries.emplace_back(k, p.record(i));
    });
    if (!problem.empty() || scope_ == CheckScope::Structure) return problem;

    IndexTable& table = tag_.table_;
    const int32_t saved = table.CurrentRecord();
    std::map<int32_t, std::string> expected;  // record -> key, for records that qualify
    const int32_t count = table.RecordCount();
    for (int32_t r = 1; r <= count; ++r) {
      table.GoRecord(r);
      if (tag_.RecordQualifies()) expected[r] = tag_.RecordKey();
    }
    if (saved > 0 && saved <= count) table.GoRecord(saved);

    std::set<int32_t> listed;
    std::set<std::string> keys;
    for (const auto& [key, record] : entries) {
      auto it = expected.find(record);
      if (it == expected.end()) return "stray entry for record " + std::to_string(record);
      if (it->second != key) {
        return "record " + std::to_string(record) + " listed with key " + HexOf(key) + " instead of " + HexOf(it->second);
      }
      if (!listed.insert(record).second) return "record " + std::to_string(record) + " listed twice";
      if (tag_.unique_ && !keys.insert(key).second) return "unique key " + HexOf(key) + " listed twice";
      keys.insert(key);
    }
    for (const auto& [record, key] : expected) {
      if (listed.count(record) != 0) continue;
      if (tag_.unique_ && keys.count(key) != 0) continue;  // another record holds the key
      return "record " + std::to_string(record) + " missing (key " + HexOf(key) + ")";
    }
    return "";
  }

  IndexTag& tag_;
  CheckScope scope_;
};

std::string CheckIndexTag(IndexTag& tag, CheckScope scope) { return IndexChecker(tag, scope).Run(); }

std::string CheckIndexFile(IndexFile& file, CheckScope scope) {
  for (int i = 0; i < file.tag_count(); ++i) {
    std::string problem = CheckIndexTag(*file.tag(i), scope);
    if (!problem.empty()) return problem;
  }
  return "";
}

}  // namespace dbase
