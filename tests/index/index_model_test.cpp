// Key maintenance against a model: thousands of random appends, key changes, FOR conditions
// turning false and true, deletes and recalls on a table with an open index; afterwards the
// tag lists exactly the model's entries in the model's order, the structural check is clean,
// and both still hold after the file is closed and opened again.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "index/index_check.h"
#include "index/open_index.h"
#include "index_fixtures.h"
#include "index_test_table.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

constexpr int kCodeLength = 40;

struct ModelCase {
  std::string extension;
  bool unique = false;
  bool descending = false;
  bool with_for = false;
  int operations = 3000;
};

// The entries a tag must hold, in stored order, inserted by the format's rule for equal keys.
class Model {
 public:
  explicit Model(const ModelCase& c) : c_(c) {
    record_ordered_ = c.extension == ".cdx";
    stored_descending_ = c.descending && (c.extension == ".ntx" || c.extension == ".mdx");
  }

  void Insert(const std::string& key, int32_t record) {
    if (c_.unique && std::any_of(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == key; })) return;
    auto it = entries_.begin();
    while (it != entries_.end() && Before(*it, key, record)) ++it;
    entries_.insert(it, {key, record});
  }

  bool Remove(const std::string& key, int32_t record) {
    auto it = std::find(entries_.begin(), entries_.end(), std::make_pair(key, record));
    if (it == entries_.end()) return false;
    entries_.erase(it);
    return true;
  }

  bool Has(const std::string& key, int32_t record) const {
    return std::find(entries_.begin(), entries_.end(), std::make_pair(key, record)) != entries_.end();
  }

  // In the tag's order, as DumpTag writes it.
  std::string Dump() const {
    std::string out;
    auto line = [&](const auto& e) { out += std::to_string(e.second) + "\t" + Hex(e.first) + "\n"; };
    if (c_.descending && !stored_descending_) {
      std::for_each(entries_.rbegin(), entries_.rend(), line);
    } else {
      std::for_each(entries_.begin(), entries_.end(), line);
    }
    return out;
  }

 private:
  // Whether the new entry goes after `e` in stored order.
  bool Before(const std::pair<std::string, int32_t>& e, const std::string& key, int32_t record) const {
    int c = e.first.compare(key);
    if (stored_descending_) c = -c;
    if (c != 0) return c < 0;
    if (record_ordered_) return e.second < record;
    return !stored_descending_;  // ascending: after equal keys; descending: before them
  }

  ModelCase c_;
  bool record_ordered_ = false;
  bool stored_descending_ = false;
  std::vector<std::pair<std::string, int32_t>> entries_;
};

std::string MakeTable(const testsupport::TempDir& dir) {
  const std::string path = dir.File("MODEL.DBF");
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, {{"CODE", 'C', kCodeLength}, {"FLAG", 'L', 1}}, {}));
  return path;
}

std::string RandomCode(std::mt19937& rng) {
  // Few letters and blanks: many equal keys and keys that begin others.
  static const char alphabet[] = "AB C";
  std::string code;
  const int length = 1 + static_cast<int>(rng() % 6);
  for (int i = 0; i < length; ++i) code.push_back(alphabet[rng() % 4]);
  code.resize(kCodeLength, ' ');
  if (rng() % 4 == 0) std::fill(code.begin() + 6, code.end(), static_cast<char>('a' + rng() % 26));
  return code;
}

class IndexModelTest : public ::testing::TestWithParam<ModelCase> {};

TEST_P(IndexModelTest, RandomWritesKeepTheTagEqualToTheModel) {
  const ModelCase& c = GetParam();
  testsupport::TempDir dir;
  const std::string table_path = MakeTable(dir);
  const std::string index_path = dir.File("MODEL" + c.extension);
  Model model(c);
  std::mt19937 rng(12345);
  // A unique tag may lack keys a rebuild would give it; the model holds what it must hold.
  const CheckScope scope = c.unique ? CheckScope::Structure : CheckScope::Full;
  {
    TestTable table(table_path, true, false);
    auto file = CreateIndex(table, index_path);
    file->DefineTag(TagDefinition{"CODES", "CODE", c.with_for ? "FLAG" : "", c.unique, c.descending});
    table.attached.push_back(file.get());
    IndexTag& tag = *file->tag(0);
    std::vector<std::pair<std::string, bool>> records{{"", false}};  // contents by record number
    for (int op = 0; op < c.operations; ++op) {
      const int kind = records.size() < 50 ? 0 : static_cast<int>(rng() % 10);
      if (kind < 4) {  // append
        const std::string code = RandomCode(rng);
        const bool flag = rng() % 3 != 0;
        table.Blank();
        table.FieldPutByName("CODE", code);
        table.LogicPutByName("FLAG", flag);
        table.Append();
        records.emplace_back(code, flag);
        if (!c.with_for || flag) model.Insert(code, table.record_number());
        continue;
      }
      const int32_t r = 1 + static_cast<int32_t>(rng() % (records.size() - 1));
      table.GetRecord(r);
      auto& [code, flag] = records[static_cast<size_t>(r)];
      const std::string old_code = code;
      const bool was_in = model.Has(code, r);
      if (kind < 7) {  // a new key
        code = RandomCode(rng);
        table.FieldPutByName("CODE", code);
        table.PutRecord(r);
      } else if (kind < 9) {  // the FOR condition flips
        flag = !flag;
        table.LogicPutByName("FLAG", flag);
        table.PutRecord(r);
      } else if (table.deleted()) {  // delete or recall: the key stays
        table.Undelete();
      } else {
        table.Delete();
      }
      // An entry whose key stays keeps its place; a changed one leaves and comes back by the rule.
      const bool qualifies = !c.with_for || flag;
      if (was_in && (old_code != code || !qualifies)) model.Remove(old_code, r);
      if (qualifies && !(was_in && old_code == code)) model.Insert(code, r);
    }
    int depth = 0;
    tag.ForEachEntry([&](const IndexKey&, int, int level) { depth = std::max(depth, level); });
    EXPECT_GE(depth, 3) << "the run should split the root more than once";
    ASSERT_EQ(CheckIndexFile(*file, scope), "");
    ASSERT_EQ(FirstDifference(DumpTag(tag), model.Dump()), "");
  }
  // Everything is in the file.
  TestTable table(table_path);
  auto file = OpenIndex(table, index_path);
  EXPECT_EQ(CheckIndexFile(*file, scope), "");
  EXPECT_EQ(FirstDifference(DumpTag(*file->tag(0)), model.Dump()), "");
}

INSTANTIATE_TEST_SUITE_P(Formats, IndexModelTest,
                         ::testing::Values(ModelCase{".ntx"}, ModelCase{".ntx", true}, ModelCase{".ntx", false, true},
                                           ModelCase{".ntx", false, false, true},
                                           ModelCase{".ntx", true, true, true}, ModelCase{".ndx"},
                                           ModelCase{".ndx", true}, ModelCase{".cdx"}, ModelCase{".cdx", true},
                                           ModelCase{".cdx", false, true}, ModelCase{".cdx", false, false, true},
                                           ModelCase{".cdx", true, true, true}, ModelCase{".mdx"}, ModelCase{".mdx", true},
                                           ModelCase{".mdx", false, true}, ModelCase{".mdx", false, false, true},
                                           ModelCase{".mdx", true, true, true}),
                         [](const ::testing::TestParamInfo<ModelCase>& p) {
                           return p.param.extension.substr(1) + (p.param.unique ? "_unique" : "") +
                                  (p.param.descending ? "_descending" : "") + (p.param.with_for ? "_for" : "");
                         });

}  // namespace
}  // namespace dbase::testing_index
