// KeySort against a plain reference sort on keys built to trip a radix sort: long shared
// prefixes that end just inside or outside 8-byte windows, zero bytes and keys that are prefixes
// of others, few distinct values with records added out of order, repeated key and record pairs,
// and collation weights shared by several bytes; every kind, both directions, unique or not,
// each with enough keys for several runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "expr/sort/key_sort.h"
#include "expr/sort/sort_key.h"
#include "sort_test_support.h"

namespace dbase {
namespace {

using sorttest::FastRandom;

enum class Kind { Text, CollatedText, Number, Date, Raw };

struct Key {
  std::string bytes;  // text and raw: the key; number and date: unused
  double number = 0;
  int32_t date = 0;
  int32_t record = 0;
};

// Upper and lower case letters share a weight; digits sort after letters.
const uint8_t* Collation() {
  static uint8_t table[256];
  for (int b = 0; b < 256; ++b) table[b] = static_cast<uint8_t>(b);
  for (int b = 'a'; b <= 'z'; ++b) table[b] = static_cast<uint8_t>(b - 32);
  for (int b = '0'; b <= '9'; ++b) table[b] = static_cast<uint8_t>(200 + b - '0');
  return table;
}

std::vector<Key> MakeKeys(Kind kind, FastRandom& rng, int count) {
  static const char* const kStems[] = {"", "ABCDEFG", "ABCDEFGH", "ABCDEFGHI", "ABCDEFGHIJKLMNO",
                                       "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOPQ", "7891000"};
  const char alphabet[] = {'\0', '\x01', 'A', 'a', 'B', 'b', '0', '9', '\x7F', '\xFF', ' '};
  std::vector<Key> keys;
  for (int i = 0; i < count; ++i) {
    Key k;
    // Records out of order and sometimes far apart, so record bytes vary at every position.
    k.record = static_cast<int32_t>(rng.Below(4) == 0 ? 1 + rng.Below(0x7FFFFFFE) : 1 + rng.Below(200000));
    switch (kind) {
      case Kind::Number: {
        const uint32_t pick = rng.Below(3);
        k.number = pick == 0 ? static_cast<double>(static_cast<int>(rng.Below(9)) - 4)                     // ties
                   : pick == 1 ? static_cast<double>(static_cast<int64_t>(rng()) >> 11) / 1024.0  // spread
                               : static_cast<double>(static_cast<int>(rng.Below(2000001)) - 1000000) / 100;
        break;
      }
      case Kind::Date:
        k.date = rng.Below(20) == 0 ? 0 : 2415021 + static_cast<int32_t>(rng.Below(rng.Below(2) ? 30 : 90000));
        break;
      default: {
        k.bytes = kStems[rng.Below(std::size(kStems))];
        const uint32_t extra = rng.Below(4) == 0 ? rng.Below(30) : rng.Below(4);
        for (uint32_t b = 0; b < extra; ++b) k.bytes += alphabet[rng.Below(sizeof alphabet)];
        if (kind != Kind::Raw) {
          while (!k.bytes.empty() && k.bytes.back() == ' ') k.bytes.pop_back();
        }
        break;
      }
    }
    keys.push_back(k);
    // Now and then the very same key and record again.
    if (rng.Below(50) == 0) keys.push_back(k);
  }
  return keys;
}

Value ToValue(Kind kind, const Key& k) {
  Value v;
  switch (kind) {
    case Kind::Number:
      v.SetNumber(k.number);
      break;
    case Kind::Date:
      v.SetDate(k.date);
      break;
    case Kind::Raw:
      v.SetRaw(k.bytes);
      break;
    default:
      v.SetText(k.bytes);
  }
  return v;
}

// Three-way comparison of key parts as the sort defines it, written independently of it.
int CompareKeys(Kind kind, const Key& a, const Key& b) {
  if (kind == Kind::Number) return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
  if (kind == Kind::Date) return a.date < b.date ? -1 : (b.date < a.date ? 1 : 0);
  const uint8_t* weight = kind == Kind::CollatedText ? Collation() : nullptr;
  const size_t common = std::min(a.bytes.size(), b.bytes.size());
  for (size_t i = 0; i < common; ++i) {
    const auto x = static_cast<uint8_t>(a.bytes[i]);
    const auto y = static_cast<uint8_t>(b.bytes[i]);
    if (weight != nullptr && weight[x] != weight[y]) return weight[x] < weight[y] ? -1 : 1;
    if (x != y) return x < y ? -1 : 1;
  }
  return a.bytes.size() < b.bytes.size() ? -1 : (a.bytes.size() > b.bytes.size() ? 1 : 0);
}

bool SameValue(Kind kind, const Value& got, const Key& want) {
  switch (kind) {
    case Kind::Number:
      return got.kind() == ValueKind::Number && got.AsNumber() == (want.number == 0 ? 0.0 : want.number);
    case Kind::Date:
      return got.kind() == ValueKind::Date && got.AsDate() == want.date;
    default:
      return got.bytes() == want.bytes;
  }
}

void CheckAgainstReference(Kind kind, bool ascending, bool unique, uint64_t seed) {
  SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << " ascending " << ascending << " unique "
                                  << unique);
  FastRandom rng(seed);
  const std::vector<Key> keys = MakeKeys(kind, rng, 150000);
  KeySort sort(240, kind == Kind::CollatedText ? Collation() : nullptr, ascending, unique);
  for (const Key& k : keys) sort.AddKey(ToValue(kind, k), k.record);

  std::vector<Key> expected = keys;
  const auto before = [kind](const Key& a, const Key& b) {
    const int c = CompareKeys(kind, a, b);
    return c != 0 ? c < 0 : static_cast<uint32_t>(a.record) < static_cast<uint32_t>(b.record);
  };
  std::sort(expected.begin(), expected.end(), before);
  if (!ascending) std::reverse(expected.begin(), expected.end());
  // One entry per key and record; with unique, the first of equal keys in delivery order.
  std::vector<Key> delivered;
  for (const Key& k : expected) {
    if (!delivered.empty() && CompareKeys(kind, delivered.back(), k) == 0 &&
        (unique || delivered.back().record == k.record)) {
      continue;
    }
    delivered.push_back(k);
  }
  Value key;
  int32_t record = 0;
  size_t i = 0;
  for (; sort.NextKey(key, record); ++i) {
    ASSERT_LT(i, delivered.size());
    if (record != delivered[i].record || !SameValue(kind, key, delivered[i])) {
      FAIL() << "position " << i << ": record " << record << ", expected " << delivered[i].record;
    }
  }
  EXPECT_EQ(i, delivered.size());
  EXPECT_GT(sort.run_count(), 1);
}

TEST(KeySortModelTest, EveryKindDirectionAndUniquenessMatchesTheReference) {
  uint64_t seed = 100;
  for (Kind kind : {Kind::Text, Kind::CollatedText, Kind::Number, Kind::Date, Kind::Raw}) {
    for (bool ascending : {true, false}) {
      for (bool unique : {false, true}) CheckAgainstReference(kind, ascending, unique, ++seed);
    }
  }
}

}  // namespace
}  // namespace dbase
