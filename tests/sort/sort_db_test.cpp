// SortDB: reading keys from a source in its own order, writing records in key order, status
// reports, and the key expression check.
#include "expr/sort/sort_db.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "dbf/errors.h"

namespace dbase {
namespace {

using Status = std::tuple<int32_t, int32_t, int32_t>;

// A table in memory: the visible records in navigation order and their key texts.
class FakeSource : public SortSource {
 public:
  FakeSource(std::vector<int32_t> visible, std::vector<std::string> keys, int32_t count)
      : visible_(std::move(visible)), keys_(std::move(keys)), count_(count) {}
  int32_t RecordCount() override { return count_; }
  bool First() override {
    at_ = 0;
    return at_ < visible_.size();
  }
  bool Next() override { return ++at_ < visible_.size(); }
  int32_t CurrentRecord() override { return visible_.at(at_); }
  void EvaluateKey(Value& key) override {
    const std::string& k = keys_.at(static_cast<size_t>(CurrentRecord() - 1));
    if (k == "<logical>") {
      key.SetLogical(true);
    } else {
      key.SetText(k);
    }
  }

 private:
  std::vector<int32_t> visible_;
  std::vector<std::string> keys_;
  int32_t count_;
  size_t at_ = 0;
};

class FakeTarget : public SortTarget {
 public:
  void Open() override { log.push_back("open"); }
  void CopyRecord(int32_t record) override {
    if (record == fail_on) throw std::runtime_error("disk full");
    log.push_back(std::to_string(record));
  }
  void Close() override { log.push_back("close"); }
  std::vector<std::string> log;
  int32_t fail_on = -1;
};

TEST(SortDBTest, ReadsInSourceOrderAndWritesInKeyOrderWithStatusReports) {
  // Record 3 is filtered out; records 2 and 5 have equal keys once blanks are dropped.
  FakeSource source({5, 1, 2, 4}, {"DELTA", "BRAVO  ", "ALPHA", "CHARLIE", "BRAVO"}, 5);
  FakeTarget target;
  SortDB sort(nullptr, SortDB::AscendingFor(2));
  std::vector<Status> status;
  sort.set_status([&](int32_t a, int32_t b, int32_t c) { status.emplace_back(a, b, c); });
  sort.ReadKeys(source);
  sort.WriteRecords(target);
  EXPECT_EQ(target.log, (std::vector<std::string>{"open", "2", "5", "4", "1", "close"}));
  EXPECT_EQ(sort.records_written(), 4);
  const std::vector<Status> expected = {{-1, 5, 5}, {5, 5, 0}, {5, 1, 0}, {5, 2, 0}, {5, 4, 0}, {0, 0, 0},
                                        {-1, 6, 4}, {6, 1, 0}, {6, 2, 0}, {6, 3, 0}, {6, 4, 0}, {0, 0, 0}};
  EXPECT_EQ(status, expected);
}

TEST(SortDBTest, OtherSequencesSortDescendingAndEmptySourcesGiveAnEmptyTarget) {
  EXPECT_FALSE(SortDB::AscendingFor(3));
  EXPECT_FALSE(SortDB::AscendingFor(0));
  FakeSource source({1, 2, 3}, {"B", "A", "B"}, 3);
  FakeTarget target;
  SortDB descending(nullptr, SortDB::AscendingFor(1));
  descending.ReadKeys(source);
  descending.WriteRecords(target);
  EXPECT_EQ(target.log, (std::vector<std::string>{"open", "3", "1", "2", "close"}));

  FakeSource none({}, {}, 7);
  FakeTarget empty_target;
  SortDB sort(nullptr, true);
  sort.ReadKeys(none);
  sort.WriteRecords(empty_target);
  EXPECT_EQ(empty_target.log, (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(sort.records_written(), 0);
}

TEST(SortDBTest, UnsortableKeysAndFailedWritesPropagate) {
  FakeSource source({1, 2}, {"A", "<logical>"}, 2);
  SortDB sort(nullptr, true);
  try {
    sort.ReadKeys(source);
    ADD_FAILURE() << "no error";
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Variant type cannot be sorted");
  }

  FakeSource good({1, 2, 3}, {"C", "B", "A"}, 3);
  FakeTarget target;
  target.fail_on = 2;
  SortDB failing(nullptr, true);
  failing.ReadKeys(good);
  EXPECT_THROW(failing.WriteRecords(target), std::runtime_error);
  EXPECT_EQ(target.log, (std::vector<std::string>{"open", "3"}));  // the partial target stays
  EXPECT_EQ(failing.records_written(), 1);
}

TEST(SortDBTest, KeyExpressionIsTrimmedAndLimitedTo240Characters) {
  EXPECT_EQ(SortDB::CheckKeyExpression("  UPPER(NOME)  "), "UPPER(NOME)");
  EXPECT_EQ(SortDB::CheckKeyExpression(std::string(240, 'A')), std::string(240, 'A'));
  try {
    SortDB::CheckKeyExpression("   ");
    ADD_FAILURE() << "no error";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.number(), kSortKeyLength);
    EXPECT_STREQ(e.what(), "Sort key length must be 1-240 bytes, is 0");
  }
  try {
    SortDB::CheckKeyExpression(" " + std::string(241, 'A'));
    ADD_FAILURE() << "no error";
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Sort key length must be 1-240 bytes, is 241");
  }
}

}  // namespace
}  // namespace dbase
