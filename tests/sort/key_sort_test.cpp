// KeySort: order of each key kind, record-number tie-break, unique sorts, collation, errors.
#include "expr/sort/key_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "dbf/errors.h"
#include "sort_test_support.h"

namespace dbase {
namespace {

using sorttest::Date;
using sorttest::Drain;
using sorttest::Number;
using sorttest::Records;
using sorttest::Text;

template <class F>
void ExpectEngineError(F&& f, int number, const std::string& text) {
  try {
    f();
    ADD_FAILURE() << "no error, expected: " << text;
  } catch (const EngineError& e) {
    EXPECT_EQ(e.number(), number);
    EXPECT_EQ(std::string(e.what()), text);
  }
}

TEST(KeySortTest, RejectsKeyLengthLimitsOutsideOneTo240) {
  ExpectEngineError([] { KeySort s(241, nullptr, true, false); }, kSortKeyLength,
                    "Sort key length must be 1-240 bytes, is 241");
  ExpectEngineError([] { KeySort s(0, nullptr, true, false); }, kSortKeyLength,
                    "Sort key length must be 1-240 bytes, is 0");
  KeySort ok(240, nullptr, true, false);
  EXPECT_EQ(ok.key_length_limit(), 240);
}

TEST(KeySortTest, RejectsLongValuesUnsortableKindsMixedKindsAndLateKeys) {
  KeySort sort(240, nullptr, true, false);
  ExpectEngineError([&] { sort.AddKey(Text(std::string(254, 'x')), 1); }, kSortKeyLength,
                    "Sort key length must be 1-240 bytes, is 254");
  Value logical;
  logical.SetLogical(true);
  ExpectEngineError([&] { sort.AddKey(logical, 1); }, kSortVariantType, "Variant type cannot be sorted");
  ExpectEngineError([&] { sort.AddKey(Value(), 1); }, kSortVariantType, "Variant type cannot be sorted");
  sort.AddKey(Text("B"), 2);
  ExpectEngineError([&] { sort.AddKey(Number(1), 3); }, kVariantMismatch, "Variant types mismatch for compare");
  EXPECT_EQ(sort.keys_added(), 1);

  Value key;
  int32_t record = 0;
  ASSERT_TRUE(sort.NextKey(key, record));
  EXPECT_EQ(key.AsText(), "B");
  ExpectEngineError([&] { sort.AddKey(Text("A"), 1); }, kSortAfterRetrieval,
                    "Cannot add sort keys after beginning retrieval");
  EXPECT_FALSE(sort.NextKey(key, record));
  EXPECT_FALSE(sort.NextKey(key, record));

  // A number takes 8 bytes, more than a limit of 4.
  KeySort small(4, nullptr, true, false);
  ExpectEngineError([&] { small.AddKey(Number(1), 1); }, kSortKeyLength, "Sort key length must be 1-4 bytes, is 8");
  small.AddKey(Date(2444240), 1);
}

TEST(KeySortTest, EmptySortDeliversNothing) {
  KeySort sort(10, nullptr, false, true);
  Value key;
  int32_t record = 7;
  EXPECT_FALSE(sort.NextKey(key, record));
  EXPECT_FALSE(sort.adding());
  EXPECT_EQ(sort.run_count(), 0);
}

TEST(KeySortTest, EqualKeysFollowRecordOrderInTheSortDirection) {
  for (bool ascending : {true, false}) {
    KeySort sort(20, nullptr, ascending, false);
    const int32_t records[] = {9, 2, 300, 70000, 1, 16777216, 5};
    for (int32_t r : records) sort.AddKey(Text("SAME"), r);
    std::vector<int32_t> expected(std::begin(records), std::end(records));
    std::sort(expected.begin(), expected.end());
    if (!ascending) std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(Records(Drain(sort)), expected) << "ascending " << ascending;
  }
}

TEST(KeySortTest, TextKeysDifferingInTrailingBlanksAreEqualAndDeliveredTrimmed) {
  KeySort sort(30, nullptr, true, false);
  sort.AddKey(Text("ABC   "), 4);
  sort.AddKey(Text("ABC"), 7);
  sort.AddKey(Text("ABC "), 1);
  sort.AddKey(Text("AB  C"), 9);
  sort.AddKey(Text("    "), 3);
  sort.AddKey(Text(""), 2);
  const auto out = Drain(sort);
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(Records(out), (std::vector<int32_t>{2, 3, 9, 1, 4, 7}));
  EXPECT_EQ(out[0].first.kind(), ValueKind::Text);
  EXPECT_EQ(out[0].first.length(), 0);
  EXPECT_EQ(out[2].first.AsText(), "AB  C");
  EXPECT_EQ(out[3].first.AsText(), "ABC");
}

// A shorter key comes before every longer key it begins, whatever bytes follow and whatever
// the record numbers: the record number must never be compared against key bytes.
TEST(KeySortTest, PrefixKeysComeFirstEvenAgainstLowBytesAndHighRecordNumbers) {
  for (bool ascending : {true, false}) {
    KeySort sort(10, nullptr, ascending, false);
    sort.AddKey(Text(std::string("AB\0\0\0\x01", 6)), 1);
    sort.AddKey(Text(std::string("AB\0", 3)), 2);
    sort.AddKey(Text("AB"), 0x7FFFFFFF);
    sort.AddKey(Text("AB"), 0x41000000);
    sort.AddKey(Text("A"), 0x42424242);
    sort.AddKey(Text(std::string("AB\x01", 3)), 3);
    std::vector<int32_t> expected = {0x42424242, 0x41000000, 0x7FFFFFFF, 2, 1, 3};
    if (!ascending) std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(Records(Drain(sort)), expected) << "ascending " << ascending;
  }
}

TEST(KeySortTest, NumbersSortNumericallyAndRoundTrip) {
  const double values[] = {3.5, -2.25, 0.0, -0.0, 1e-300, -1e300, 7.0, 7.000000000000001, -7.0,
                           std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                           1.0, 256.0, 0.5, -0.5, 1e15, 65536.0};
  KeySort sort(8, nullptr, true, false);
  int32_t record = 1;
  for (double v : values) sort.AddKey(Number(v), record++);
  const auto out = Drain(sort);
  ASSERT_EQ(out.size(), std::size(values));
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i].first.kind(), ValueKind::Number);
    EXPECT_EQ(out[i].first.AsNumber(), values[out[i].second - 1]);
    if (i > 0) {
      const double a = out[i - 1].first.AsNumber();
      const double b = out[i].first.AsNumber();
      EXPECT_TRUE(a < b || (a == b && out[i - 1].second < out[i].second)) << a << " then " << b;
    }
  }
  // -0 and +0 are one key: record order decides, and the value comes back as +0.
  const auto zero = std::find_if(out.begin(), out.end(), [](const auto& k) { return k.first.AsNumber() == 0; });
  ASSERT_NE(zero, out.end());
  EXPECT_EQ(zero->second, 3);
  EXPECT_EQ((zero + 1)->second, 4);
  EXPECT_FALSE(std::signbit((zero + 1)->first.AsNumber()));
}

// Doubles whose low-order bytes are zero must not be shortened into keys that compare wrongly.
TEST(KeySortTest, NumbersWithTrailingZeroBytesKeepNumericOrder) {
  KeySort sort(8, nullptr, true, false);
  sort.AddKey(Number(2.0), 1);              // bytes 40 00 00 00 00 00 00 00
  sort.AddKey(Number(2.0000000000000004), 2);  // last byte 01
  sort.AddKey(Number(2.0), 3);
  sort.AddKey(Number(1.9999999999999998), 4);
  EXPECT_EQ(Records(Drain(sort)), (std::vector<int32_t>{4, 1, 3, 2}));
}

TEST(KeySortTest, DatesSortChronologicallyIncludingEmptyAndNegativeDays) {
  for (bool ascending : {true, false}) {
    KeySort sort(8, nullptr, ascending, false);
    sort.AddKey(Date(2444240), 1);
    sort.AddKey(Date(0), 2);
    sort.AddKey(Date(2415019), 3);
    sort.AddKey(Date(-5), 4);
    sort.AddKey(Date(2444239), 5);
    sort.AddKey(Date(0x7FFFFFFF), 6);
    const auto out = Drain(sort);
    std::vector<int32_t> expected = {4, 2, 3, 5, 1, 6};
    if (!ascending) std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(Records(out), expected);
    for (const auto& k : out) EXPECT_EQ(k.first.kind(), ValueKind::Date);
    EXPECT_EQ(out[ascending ? 0 : 5].first.AsDate(), -5);
  }
}

TEST(KeySortTest, RawKeysSortAsUnsignedBytesAndStayRaw) {
  KeySort sort(6, nullptr, true, false);
  Value a, b, c;
  a.SetRaw("\xFF\x01", 2);
  b.SetRaw("\x01\xFF\x20", 3);
  c.SetRaw("\x01\xFF", 2);
  sort.AddKey(a, 1);
  sort.AddKey(b, 2);
  sort.AddKey(c, 3);
  const auto out = Drain(sort);
  EXPECT_EQ(Records(out), (std::vector<int32_t>{3, 2, 1}));
  EXPECT_EQ(out[1].first.kind(), ValueKind::Raw);
  EXPECT_EQ(out[1].first.bytes(), std::string("\x01\xFF\x20", 3));  // trailing blank kept
}

TEST(KeySortTest, UniqueDeliversTheFirstOfEqualKeysInEitherDirection) {
  for (bool ascending : {true, false}) {
    KeySort sort(10, nullptr, ascending, true);
    sort.AddKey(Text("B"), 5);
    sort.AddKey(Text("A "), 8);
    sort.AddKey(Text("B  "), 2);
    sort.AddKey(Text("A"), 3);
    sort.AddKey(Text("AB"), 4);
    sort.AddKey(Text("B"), 9);
    const auto out = Drain(sort);
    ASSERT_EQ(out.size(), 3u);
    if (ascending) {
      EXPECT_EQ(Records(out), (std::vector<int32_t>{3, 4, 2}));
    } else {
      EXPECT_EQ(Records(out), (std::vector<int32_t>{9, 4, 8}));
    }
  }
}

TEST(KeySortTest, CollationWeightsOrderTextKeysButNotRecordNumbers) {
  // Reverses the order of the letters; leaves every other byte alone.
  uint8_t table[256];
  for (int b = 0; b < 256; ++b) table[b] = static_cast<uint8_t>(b);
  for (int b = 'A'; b <= 'Z'; ++b) table[b] = static_cast<uint8_t>('Z' - (b - 'A'));
  KeySort sort(10, table, true, false);
  sort.AddKey(Text("AZ"), 1);
  sort.AddKey(Text("ZA"), 2);
  sort.AddKey(Text("M"), 0x5A000000);  // record bytes 'Z' 0 0 0 must not be weighted
  sort.AddKey(Text("M"), 0x41000000);
  sort.AddKey(Text("ZZ"), 4);
  EXPECT_EQ(Records(Drain(sort)), (std::vector<int32_t>{4, 2, 0x41000000, 0x5A000000, 1}));

  // The table does not apply to numbers.
  KeySort numbers(8, table, true, false);
  numbers.AddKey(Number(2), 1);
  numbers.AddKey(Number(1), 2);
  EXPECT_EQ(Records(Drain(numbers)), (std::vector<int32_t>{2, 1}));
}

// A table giving several bytes one weight keeps every key's own bytes; such bytes are
// ordered by weight first and by byte value second, position by position.
TEST(KeySortTest, CollationWithSharedWeightsKeepsTheKeysBytes) {
  uint8_t table[256];
  for (int b = 0; b < 256; ++b) table[b] = static_cast<uint8_t>(b >= 'a' && b <= 'z' ? b - 32 : b);
  KeySort sort(10, table, true, false);
  sort.AddKey(Text("b"), 1);
  sort.AddKey(Text("A"), 2);
  sort.AddKey(Text("a"), 3);
  sort.AddKey(Text("B"), 4);
  sort.AddKey(Text("C"), 5);
  const auto out = Drain(sort);
  EXPECT_EQ(Records(out), (std::vector<int32_t>{2, 3, 4, 1, 5}));
  EXPECT_EQ(out[1].first.AsText(), "a");
}

// Many keys sharing long prefixes and packed tails, checked against a reference sort; small
// pool-sized batches and a sort large enough to need several runs must agree.
TEST(KeySortTest, MatchesReferenceAcrossSeveralRunsWithSharedPrefixes) {
  std::mt19937 rng(12345);
  const char alphabet[] = {'\0', '\x01', ' ', 'A', 'B', '\x7F', '\xFF'};
  struct Key {
    std::string text;
    int32_t record;
  };
  std::vector<Key> keys;
  for (int32_t r = 1; r <= 120000; ++r) {
    std::string s = r % 3 == 0 ? "COMMON PREFIX " : "";
    const int length = static_cast<int>(rng() % 13);
    for (int i = 0; i < length; ++i) s += alphabet[rng() % sizeof alphabet];
    keys.push_back({s, r % 7 == 0 ? 0x7FFFFF00 + r % 200 : r});
  }
  for (bool ascending : {true, false}) {
    KeySort sort(40, nullptr, ascending, false);
    for (const Key& k : keys) sort.AddKey(Text(k.text), k.record);
    std::vector<std::pair<std::string, int32_t>> expected;
    for (const Key& k : keys) {
      std::string t = k.text;
      while (!t.empty() && t.back() == ' ') t.pop_back();
      expected.emplace_back(t, k.record);
    }
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first < b.first : static_cast<uint32_t>(a.second) < static_cast<uint32_t>(b.second);
    });
    if (!ascending) std::reverse(expected.begin(), expected.end());
    // Equal key and record number (possible above) is one entry.
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    Value key;
    int32_t record = 0;
    size_t i = 0;
    bool more = true;
    while ((more = sort.NextKey(key, record)) && i < expected.size()) {
      if (key.bytes() != expected[i].first || record != expected[i].second) {
        auto hex = [](std::string_view t) {
          std::string h;
          for (unsigned char c : t) h += "0123456789ABCDEF"[c >> 4], h += "0123456789ABCDEF"[c & 15], h += ' ';
          return h;
        };
        ADD_FAILURE() << "mismatch at " << i << " (ascending " << ascending << "): got " << hex(key.bytes()) << "#"
                      << record << ", expected " << hex(expected[i].first) << "#" << expected[i].second;
        break;
      }
      ++i;
    }
    EXPECT_EQ(i, expected.size());
    EXPECT_FALSE(more);
    EXPECT_GT(sort.run_count(), 1);
  }
}

}  // namespace
}  // namespace dbase
