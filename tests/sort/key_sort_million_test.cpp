// KeySort on a million random keys of each kind, far past the node pool, against a reference
// sort with the same record-number tie-break. Records are added in a random order.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string_view>
#include <vector>

#include "expr/sort/key_sort.h"
#include "sort_test_support.h"

namespace dbase {
namespace {

constexpr int32_t kKeys = 1000000;

using sorttest::FastRandom;

std::vector<int32_t> ShuffledRecords(FastRandom& rng) {
  std::vector<int32_t> records(kKeys);
  std::iota(records.begin(), records.end(), 1);
  for (size_t i = records.size() - 1; i > 0; --i) std::swap(records[i], records[rng.Below(static_cast<uint32_t>(i + 1))]);
  return records;
}

// `compare` is a three-way comparison of two keys.
template <class T, class Compare>
void ExpectSameOrder(KeySort& sort, std::vector<std::pair<T, int32_t>> reference, Compare compare,
                     bool (*equal)(const Value&, const T&)) {
  std::sort(reference.begin(), reference.end(), [&](const auto& a, const auto& b) {
    const int c = compare(a.first, b.first);
    return c != 0 ? c < 0 : a.second < b.second;
  });
  if (!sort.ascending()) std::reverse(reference.begin(), reference.end());
  Value key;
  int32_t record = 0;
  size_t i = 0;
  for (; sort.NextKey(key, record); ++i) {
    ASSERT_LT(i, reference.size());
    if (record != reference[i].second || !equal(key, reference[i].first)) {
      FAIL() << "position " << i << ": record " << record << ", expected " << reference[i].second;
    }
  }
  EXPECT_EQ(i, reference.size());
}

TEST(KeySortMillionTest, TextUpTo240BytesAscending) {
  FastRandom rng(1);
  // Keys share prefixes from a small set, end in random bytes of every value, and a quarter
  // are long; some carry trailing blanks, which do not count.
  std::vector<std::string> prefixes;
  for (int i = 0; i < 300; ++i) {
    std::string p(rng.Below(12), '\0');
    for (char& c : p) c = static_cast<char>('A' + rng.Below(4));
    prefixes.push_back(p);
  }
  const std::vector<int32_t> records = ShuffledRecords(rng);
  KeySort sort(240, nullptr, true, false);
  // The reference keys, trimmed, one after another in one buffer.
  std::string arena;
  arena.reserve(80u * kKeys);
  std::vector<std::pair<size_t, size_t>> spans;
  spans.reserve(kKeys);
  Value value;
  std::string s;
  for (int32_t i = 0; i < kKeys; ++i) {
    s = prefixes[rng.Below(static_cast<uint32_t>(prefixes.size()))];
    const size_t length = i % 4 == 0 ? 200 + rng.Below(41) : rng.Below(24);
    while (s.size() < length) {
      // Eight random bytes at a time; about one in eight is a blank.
      uint64_t bits = rng();
      const uint64_t blanks = rng();
      for (int b = 0; b < 8; ++b, bits >>= 8) s += (blanks >> (8 * b)) % 8 == 0 ? ' ' : static_cast<char>(bits & 0xFF);
    }
    s.resize(length);
    value.SetText(s);
    sort.AddKey(value, records[static_cast<size_t>(i)]);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    spans.emplace_back(arena.size(), s.size());
    arena += s;
  }
  EXPECT_LE(sort.pool_blocks(), 32);
  EXPECT_GT(sort.run_count(), 10);
  std::vector<std::pair<std::string_view, int32_t>> reference;
  reference.reserve(kKeys);
  for (size_t i = 0; i < spans.size(); ++i) {
    reference.emplace_back(std::string_view(arena).substr(spans[i].first, spans[i].second), records[i]);
  }
  ExpectSameOrder(
      sort, std::move(reference), [](std::string_view a, std::string_view b) { return a.compare(b); },
      +[](const Value& v, const std::string_view& k) { return v.bytes() == k; });
  EXPECT_EQ(sort.pool_blocks(), 0);
  EXPECT_EQ(sort.run_bytes(), 0u);  // pages are freed as they are read
}

// 1M keys of 240 bytes, descending: the runs take no more than the keys themselves, and the
// keys come back in order, all of them.
TEST(KeySortMillionTest, LongKeysDescendingStayWithinTheSizeOfTheKeys) {
  FastRandom rng(2);
  KeySort sort(240, nullptr, false, false);
  size_t uncompressed = 0;
  Value key;
  std::string s(240, '\0');
  for (int32_t r = 1; r <= kKeys; ++r) {
    for (size_t i = 0; i < s.size(); i += 8) {
      uint64_t bits = rng();
      for (size_t b = i; b < i + 8; ++b, bits >>= 8) s[b] = static_cast<char>('a' + (bits & 0xFF) % 26);
    }
    key.SetText(s);
    sort.AddKey(key, r);
    uncompressed += 3 + 240 + 4;
  }
  // Front compression gains little on random keys; pages lose at most one entry's room at
  // their end, and each run's last page is partly used.
  const size_t pages = sort.run_bytes() / PageCollection::kPageSize;
  EXPECT_LE(sort.run_bytes(),
            uncompressed + pages * 250 + static_cast<size_t>(sort.run_count()) * PageCollection::kPageSize);
  EXPECT_LE(sort.pool_blocks(), 32);
  std::string previous(1, '\xFF');
  int32_t record = 0;
  int32_t count = 0;
  while (sort.NextKey(key, record)) {
    ASSERT_EQ(key.length(), 240);
    ASSERT_GT(previous.compare(key.bytes()), 0) << "at " << count;
    previous.assign(key.bytes());
    ++count;
  }
  EXPECT_EQ(count, kKeys);
  EXPECT_EQ(sort.pool_blocks(), 0);
}

TEST(KeySortMillionTest, NumbersWithNegativesAndFractionsBothDirections) {
  FastRandom rng(3);
  std::vector<std::pair<double, int32_t>> reference;
  reference.reserve(kKeys);
  for (int32_t r = 1; r <= kKeys; ++r) {
    double d;
    switch (rng() % 4) {
      case 0:  // a wide spread of magnitudes and signs
        do {
          d = std::bit_cast<double>(rng());
        } while (!std::isfinite(d));
        break;
      case 1:  // few distinct values: many ties
        d = static_cast<double>(static_cast<int64_t>(rng() % 41) - 20) / 4;
        break;
      case 2:  // whole numbers, whose low bytes are zero
        d = static_cast<double>(static_cast<int64_t>(rng() % 2000001) - 1000000);
        break;
      default:  // decimals as a table field holds them
        d = static_cast<double>(static_cast<int64_t>(rng() % 20000001) - 10000000) / 1000;
        break;
    }
    reference.emplace_back(d, r);
  }
  for (size_t i = reference.size() - 1; i > 0; --i) std::swap(reference[i], reference[rng.Below(static_cast<uint32_t>(i + 1))]);
  for (bool ascending : {true, false}) {
    KeySort sort(8, nullptr, ascending, false);
    for (const auto& [d, r] : reference) sort.AddKey(sorttest::Number(d), r);
    EXPECT_GT(sort.run_count(), 1);
    ExpectSameOrder(
        sort, reference, [](double a, double b) { return a < b ? -1 : (b < a ? 1 : 0); },
        +[](const Value& v, const double& d) { return v.AsNumber() == d; });
  }
}

TEST(KeySortMillionTest, DatesAscending) {
  FastRandom rng(5);
  const std::vector<int32_t> records = ShuffledRecords(rng);
  KeySort sort(8, nullptr, true, false);
  std::vector<std::pair<int32_t, int32_t>> reference;
  reference.reserve(kKeys);
  for (int32_t i = 0; i < kKeys; ++i) {
    const int32_t jdn = i % 50 == 0 ? 0 : static_cast<int32_t>(2415019 + rng.Below(73000));
    sort.AddKey(sorttest::Date(jdn), records[static_cast<size_t>(i)]);
    reference.emplace_back(jdn, records[static_cast<size_t>(i)]);
  }
  EXPECT_GT(sort.run_count(), 1);
  ExpectSameOrder(
      sort, std::move(reference), [](int32_t a, int32_t b) { return a < b ? -1 : (b < a ? 1 : 0); },
      +[](const Value& v, const int32_t& d) { return v.kind() == ValueKind::Date && v.AsDate() == d; });
}

}  // namespace
}  // namespace dbase
