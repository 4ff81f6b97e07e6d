// HugeSet: bit layout, modes, highest index, clearing and the set-bit scans across chunks.
#include "expr/sort/huge_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <stdexcept>

namespace dbase {
namespace {

TEST(HugeSetTest, SetsClearsTogglesAndTracksTheHighestTouchedIndex) {
  HugeSet set;
  EXPECT_EQ(set.highest(), -1);
  EXPECT_FALSE(set.Test(0));
  set.Set(5);
  set.Set(7, HugeSet::kSetBit);
  set.Set(9, HugeSet::kToggleBit);
  EXPECT_TRUE(set.Test(5));
  EXPECT_FALSE(set.Test(6));
  EXPECT_TRUE(set.Test(7));
  EXPECT_TRUE(set.Test(9));
  set.Set(9, HugeSet::kToggleBit);
  set.Set(5, HugeSet::kClearBit);
  EXPECT_FALSE(set.Test(9));
  EXPECT_FALSE(set.Test(5));
  EXPECT_EQ(set.highest(), 9);
  // Clearing a far bit touches it without allocating a chunk.
  set.Set(1000000, HugeSet::kClearBit);
  EXPECT_EQ(set.highest(), 1000000);
  EXPECT_EQ(set.chunk_count(), 1);
  EXPECT_FALSE(set.Test(-1));
  EXPECT_FALSE(set.Test(2000000));
  EXPECT_THROW(set.Set(-1), std::out_of_range);
  EXPECT_THROW(set.Set(3, 3), std::invalid_argument);
}

TEST(HugeSetTest, BitsLieInChunksOf131072AcrossTheWholeRange) {
  HugeSet set;
  const int32_t bits[] = {0, 131071, 131072, 131073, 262144 * 3 + 17, 0x7FFFFFFF};
  for (int32_t n : bits) set.Set(n);
  for (int32_t n : bits) EXPECT_TRUE(set.Test(n)) << n;
  EXPECT_FALSE(set.Test(131070));
  EXPECT_FALSE(set.Test(0x7FFFFFFE));
  EXPECT_EQ(set.highest(), 0x7FFFFFFF);
  EXPECT_EQ(set.chunk_count(), 4);
  set.Clear();
  EXPECT_EQ(set.highest(), -1);
  for (int32_t n : bits) EXPECT_FALSE(set.Test(n)) << n;
  // After Clear the old chunks read as zero.
  set.Set(131072 + 5);
  EXPECT_FALSE(set.Test(131072));
  EXPECT_TRUE(set.Test(131077));
}

TEST(HugeSetTest, NextAndPreviousSetBitMatchAPlainScan) {
  std::mt19937 rng(7);
  HugeSet set;
  std::set<int32_t> expected;
  for (int i = 0; i < 3000; ++i) {
    // Clusters around chunk edges, some isolated bits, gaps with absent chunks.
    const int32_t base = static_cast<int32_t>((rng() % 6) * 131072 * 2);
    const int32_t n = base + static_cast<int32_t>(rng() % 300) - 150 + (rng() % 2) * 131072;
    if (n < 0) continue;
    set.Set(n);
    expected.insert(n);
  }
  set.Set(1600000, HugeSet::kClearBit);  // touched beyond the last set bit
  for (int probe = 0; probe < 20000; ++probe) {
    const int32_t from = static_cast<int32_t>(rng() % 1700000) - 10;
    const auto next = expected.lower_bound(from);
    EXPECT_EQ(set.NextSet(from), next == expected.end() ? -1 : *next) << from;
    auto previous = expected.upper_bound(from);
    const int32_t want = previous == expected.begin() ? -1 : *--previous;
    EXPECT_EQ(set.PreviousSet(from), want) << from;
  }
  HugeSet empty;
  EXPECT_EQ(empty.NextSet(0), -1);
  EXPECT_EQ(empty.PreviousSet(100), -1);
}

}  // namespace
}  // namespace dbase
