// PageCollection: front-compressed entries across page boundaries read back exactly.
#include "expr/sort/page_collection.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace dbase {
namespace {

TEST(PageCollectionTest, EntriesComeBackWholeAcrossPagesAndPagesAreFreedAsRead) {
  std::mt19937 rng(3);
  std::vector<std::string> keys;
  std::string previous;
  PageCollection run;
  for (int i = 0; i < 5000; ++i) {
    // Each key keeps some of the previous one, as entries of a sorted run do.
    std::string key = previous.substr(0, std::min<size_t>(previous.size(), rng() % 40));
    const size_t length = 4 + rng() % 241;
    while (key.size() < length) key += static_cast<char>(rng() % 256);
    key.resize(length);
    size_t shared = 0;
    while (shared < key.size() && shared < previous.size() && key[shared] == previous[shared]) ++shared;
    run.Append(i % 2 ? kSortMarkerText : kSortMarkerRaw, reinterpret_cast<const uint8_t*>(key.data()),
               static_cast<int>(key.size()), static_cast<int>(shared));
    keys.push_back(key);
    previous = key;
  }
  EXPECT_GT(run.bytes_held(), 10u * PageCollection::kPageSize);
  EXPECT_EQ(run.entries(), 5000);
  run.FinishWriting();
  const size_t held = run.bytes_held();
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_FALSE(run.exhausted()) << i;
    EXPECT_EQ(run.head_marker(), i % 2 ? kSortMarkerText : kSortMarkerRaw);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(run.head()), static_cast<size_t>(run.head_length())), keys[i])
        << i;
    run.Advance();
  }
  EXPECT_TRUE(run.exhausted());
  EXPECT_LT(run.bytes_held(), held);
  EXPECT_EQ(run.bytes_held(), 0u);
  run.Advance();
  EXPECT_TRUE(run.exhausted());
}

TEST(PageCollectionTest, EmptyRunIsExhaustedAndBadEntriesAreRefused) {
  PageCollection empty;
  empty.FinishWriting();
  EXPECT_TRUE(empty.exhausted());

  PageCollection run;
  const uint8_t key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_THROW(run.Append(0, key, 8, 0), std::logic_error);
  EXPECT_THROW(run.Append(kSortMarkerText, key, 3, 0), std::logic_error);
  EXPECT_THROW(run.Append(kSortMarkerText, key, 8, 9), std::logic_error);
}

}  // namespace
}  // namespace dbase
