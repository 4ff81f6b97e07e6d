// Value (storage, conversions, comparison) and the owning Collection.
#include "dbf/value.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "dbf/collection.h"
#include "dbf/dbf_date.h"
#include "dbf/errors.h"
#include "platform/locale.h"

namespace dbase {
namespace {

class ValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetShortDateFormatForTesting("dd/mm/yyyy");
    platform::SetDecimalSeparatorForTesting('.');
  }
  void TearDown() override {
    platform::SetShortDateFormatForTesting(std::nullopt);
    platform::SetDecimalSeparatorForTesting(std::nullopt);
  }

  static Value Text(std::string_view s) {
    Value v;
    v.SetText(s);
    return v;
  }
  static Value Number(double d) {
    Value v;
    v.SetNumber(d);
    return v;
  }
  static Value Date(int32_t jdn) {
    Value v;
    v.SetDate(jdn);
    return v;
  }
  static Value Logical(bool b) {
    Value v;
    v.SetLogical(b);
    return v;
  }
  static Value Raw(std::string_view s) {
    Value v;
    v.SetRaw(s);
    return v;
  }
};

TEST_F(ValueTest, StorageGrowsAndKeepsBytes) {
  Value v(4);
  EXPECT_EQ(v.capacity(), 4);
  EXPECT_EQ(v.length(), 0);
  EXPECT_EQ(v.kind(), ValueKind::Empty);

  v.SetText("abc");
  v.SetSize(6);  // beyond the capacity: old bytes stay
  EXPECT_EQ(v.capacity(), 6);
  EXPECT_EQ(std::memcmp(v.data(), "abc", 3), 0);
  v.SetSize(2);  // shrinking keeps the buffer
  EXPECT_EQ(v.capacity(), 6);
  EXPECT_EQ(v.bytes(), "ab");

  v.AppendRaw("xyz", 3);
  EXPECT_EQ(v.kind(), ValueKind::Raw);
  EXPECT_EQ(v.bytes(), "abxyz");
  v.AppendRaw(nullptr, 3);
  v.AppendRaw("q", 0);
  EXPECT_EQ(v.bytes(), "abxyz");
  v.AppendRaw(v.data(), 5);  // its own bytes
  EXPECT_EQ(v.bytes(), "abxyzabxyz");
  v.SetRaw(v.data() + 2, 3);
  EXPECT_EQ(v.bytes(), "xyz");

  v.Clear();
  EXPECT_EQ(v.capacity(), 0);
  EXPECT_EQ(v.length(), 0);
  EXPECT_EQ(v.kind(), ValueKind::Empty);
  EXPECT_THROW(v.SetSize(-1), std::invalid_argument);
}

TEST_F(ValueTest, AssignCopiesDeeply) {
  Value a = Text("hello");
  Value b;
  EXPECT_TRUE(b.Assign(&a));
  a.data()[0] = 'J';
  EXPECT_EQ(b.AsText(), "hello");
  EXPECT_EQ(b.kind(), ValueKind::Text);
  EXPECT_TRUE(b.Assign(&b));
  EXPECT_EQ(b.AsText(), "hello");
  EXPECT_FALSE(b.Assign(nullptr));
  EXPECT_EQ(b.kind(), ValueKind::Empty);
  EXPECT_EQ(b.length(), 0);
}

TEST_F(ValueTest, TextEditing) {
  Value v = Text("ab  ");
  v.TrimText();
  EXPECT_EQ(v.AsText(), "ab");
  v.PadText(5);
  EXPECT_EQ(v.AsText(), "ab   ");
  v.PadText(2);  // never shortens
  EXPECT_EQ(v.AsText(), "ab   ");

  Value n = Number(1.5);
  n.PadText(10);
  n.TrimText();
  EXPECT_EQ(n.length(), 8);

  Value u = Text("a\xE7\xE3o");
  u.UpperText();
  EXPECT_EQ(u.AsText(), "A\xC7\xC3O");
  Value l = Logical(true);
  l.UpperText();
  EXPECT_EQ(l.kind(), ValueKind::Text);
  EXPECT_EQ(l.AsText(), "T");
}

TEST_F(ValueTest, AsTextOfEachKind) {
  EXPECT_EQ(Value().AsText(), "");
  EXPECT_EQ(Text("x y").AsText(), "x y");
  EXPECT_EQ(Raw(std::string_view("a\0b", 3)).AsText(), std::string("a\0b", 3));
  EXPECT_EQ(Number(123.45).AsText(), "123.45");
  EXPECT_EQ(Number(100).AsText(), "100");
  EXPECT_EQ(Number(-0.0).AsText(), "0");
  EXPECT_EQ(Number(0.1 + 0.2).AsText(), "0.3");  // 15 significant digits
  EXPECT_EQ(Number(1.0 / 3).AsText(), "0.333333333333333");
  EXPECT_EQ(Number(1e20).AsText(), "1e+20");
  EXPECT_EQ(Date(2444240).AsText(), "01/01/1980");
  EXPECT_EQ(Date(0).AsText(), "          ");
  EXPECT_EQ(Logical(true).AsText(), "T");
  EXPECT_EQ(Logical(false).AsText(), "F");
  platform::SetDecimalSeparatorForTesting(',');
  EXPECT_EQ(Number(-2.5).AsText(), "-2,5");
}

TEST_F(ValueTest, AsNumber) {
  EXPECT_DOUBLE_EQ(Text(" 12.5 ").AsNumber(), 12.5);
  EXPECT_DOUBLE_EQ(Text("-3").AsNumber(), -3);
  EXPECT_DOUBLE_EQ(Text("+.5").AsNumber(), 0.5);
  EXPECT_DOUBLE_EQ(Text("2.").AsNumber(), 2);
  EXPECT_DOUBLE_EQ(Text("1e3").AsNumber(), 1000);
  EXPECT_DOUBLE_EQ(Text("").AsNumber(), 0);
  for (const char* bad : {"abc", "1.2.3", "--1", ".", "1e", "inf", "nan", "0x10", "1 2", "   ", "1e999"}) {
    EXPECT_THROW(Text(bad).AsNumber(), ConversionError) << bad;
  }
  platform::SetDecimalSeparatorForTesting(',');
  EXPECT_DOUBLE_EQ(Text("1,25").AsNumber(), 1.25);
  EXPECT_DOUBLE_EQ(Text("1.25").AsNumber(), 1.25);  // the point is always understood

  EXPECT_DOUBLE_EQ(Number(7.25).AsNumber(), 7.25);
  EXPECT_DOUBLE_EQ(Date(2444240).AsNumber(), 2444240);
  EXPECT_DOUBLE_EQ(Logical(true).AsNumber(), 1);
  EXPECT_DOUBLE_EQ(Logical(false).AsNumber(), 0);
  const double d = 42.0;
  Value raw;
  raw.SetRaw(&d, sizeof d);
  EXPECT_DOUBLE_EQ(raw.AsNumber(), 42.0);
  EXPECT_DOUBLE_EQ(Raw("\x01").AsNumber(), Raw(std::string_view("\x01\0\0\0\0\0\0\0", 8)).AsNumber());  // short raw never over-reads
}

TEST_F(ValueTest, AsDate) {
  EXPECT_EQ(Text("19800101").AsDate(), 2444240);
  EXPECT_EQ(Text("01/01/1980").AsDate(), 2444240);
  EXPECT_EQ(Text("        ").AsDate(), 0);
  EXPECT_THROW(Text("someday").AsDate(), ConversionError);
  EXPECT_EQ(Number(2444240.9).AsDate(), 2444240);
  EXPECT_EQ(Number(-5).AsDate(), 0);
  EXPECT_EQ(Number(0).AsDate(), 0);
  EXPECT_THROW(Number(1e12).AsDate(), ConversionError);
  EXPECT_THROW(Number(std::nan("")).AsDate(), ConversionError);
  EXPECT_THROW(Number(1e8).AsDate(), ConversionError);  // beyond the year 9999
  EXPECT_EQ(Date(2444240).AsDate(), 2444240);
  EXPECT_EQ(Logical(true).AsDate(), 0);
  EXPECT_EQ(Value().AsDate(), 0);
}

TEST_F(ValueTest, AsLogical) {
  for (const char* yes : {"yes", "Ja", "T", "true", "y"}) EXPECT_TRUE(Text(yes).AsLogical()) << yes;
  for (const char* no : {"no", "1", "F", "", " T"}) EXPECT_FALSE(Text(no).AsLogical()) << no;
  EXPECT_TRUE(Number(-1.5).AsLogical());
  EXPECT_FALSE(Number(0.9).AsLogical());
  EXPECT_FALSE(Date(2444240).AsLogical());
  EXPECT_TRUE(Logical(true).AsLogical());
  EXPECT_FALSE(Raw(std::string_view("\0", 1)).AsLogical());
  EXPECT_EQ(kTrueChars.front(), 'T');
  EXPECT_EQ(kFalseChars.front(), 'F');
}

TEST_F(ValueTest, CompareTexts) {
  int pos = -1;
  Value ab = Text("AB"), abc = Text("ABC"), abd = Text("ABD");
  EXPECT_EQ(ab.Compare(&abc, pos), -1);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(ab.Compare(&abc, pos, nullptr, 0), 0);  // prefix counts as a match
  EXPECT_EQ(ab.Compare(&abc, pos, nullptr, 5), 1);  // reduced to -1/0/1
  EXPECT_EQ(abc.Compare(&ab, pos), 1);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(abd.Compare(&abc, pos), 1);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(abc.Compare(&abc, pos), 0);
  EXPECT_EQ(pos, 4);
  Value high = Text("\xE9"), low = Text("z");
  EXPECT_EQ(high.Compare(&low, pos), 1);  // bytes compare unsigned
}

TEST_F(ValueTest, CompareEmptyAndMissing) {
  int pos = 7;
  Value empty, a = Text("a"), blank = Text("");
  EXPECT_EQ(empty.Compare(&a, pos), -1);
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(empty.Compare(&blank, pos), 0);
  EXPECT_EQ(empty.Compare(nullptr, pos), 0);
  EXPECT_EQ(a.Compare(nullptr, pos), 1);
  EXPECT_EQ(blank.Compare(&a, pos), -1);
  EXPECT_EQ(a.Compare(&blank, pos), 1);
  EXPECT_EQ(blank.Compare(&blank, pos), 0);
}

TEST_F(ValueTest, CompareRawTakesTheOtherKind) {
  std::array<uint8_t, 256> fold{};
  for (int i = 0; i < 256; ++i) fold[i] = static_cast<uint8_t>(platform::UpperChar(static_cast<char>(i)));
  int pos = 0;
  Value raw = Raw("abc"), text = Text("ABC");
  EXPECT_EQ(raw.Compare(&text, pos), 1);
  EXPECT_EQ(raw.Compare(&text, pos, fold.data()), 0);
  EXPECT_EQ(text.Compare(&raw, pos, fold.data()), 0);
  // Raw against Raw: no table and no prefix rule.
  Value r1 = Raw("ab"), r2 = Raw("abc");
  EXPECT_EQ(r1.Compare(&r2, pos, fold.data(), 1), -1);
  EXPECT_EQ(Raw("A").Compare(&r1, pos, fold.data()), -1);
}

TEST_F(ValueTest, CompareNumbersDatesLogicals) {
  int pos = 0;
  Value a = Number(-1), b = Number(2);
  EXPECT_EQ(a.Compare(&b, pos), -1);
  EXPECT_EQ(b.Compare(&a, pos), 1);
  Value d1 = Date(-3), d2 = Date(2444240);
  EXPECT_EQ(d1.Compare(&d2, pos), -1);  // signed
  Value t = Logical(true), f = Logical(false);
  EXPECT_EQ(t.Compare(&f, pos), 1);
  EXPECT_EQ(f.Compare(&t, pos), -1);
  EXPECT_EQ(t.Compare(&t, pos), 0);
  EXPECT_THROW(a.Compare(&d2, pos), EngineError);
  try {
    Text("x").Compare(&a, pos);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.number(), kVariantMismatch);
    EXPECT_STREQ(e.what(), "Variant types mismatch for compare");
  }
}

TEST_F(ValueTest, CompareRawNumbersUsesTheBytes) {
  if constexpr (std::endian::native != std::endian::little) GTEST_SKIP() << "byte layout below is little-endian";
  int pos = 0;
  // -1.0 is 00 00 00 00 00 00 F0 BF, 2.0 is 00 00 00 00 00 00 00 40: bytewise -1.0 sorts last.
  Value minus_one = Number(-1);
  const double two = 2;
  Value raw_two;
  raw_two.SetRaw(&two, sizeof two);
  EXPECT_EQ(minus_one.Compare(&raw_two, pos), -1);
  EXPECT_EQ(minus_one.CompareRawNumbers(&raw_two, pos), 1);
  EXPECT_EQ(pos, 7);
  EXPECT_EQ(minus_one.kind(), ValueKind::Number);
  // Against a Number the raw self takes the other's kind again.
  Value number_two = Number(2);
  EXPECT_EQ(minus_one.CompareRawNumbers(&number_two, pos), -1);
}

struct Tracked {
  explicit Tracked(int* live) : live_(live) { ++*live_; }
  ~Tracked() { --*live_; }
  int* live_;
};

TEST(CollectionTest, OwnsAndFreesItems) {
  int live = 0;
  {
    Collection<Tracked> list;
    Tracked* a = list.Add(std::make_unique<Tracked>(&live));
    Tracked* b = list.Add(std::make_unique<Tracked>(&live));
    list.Add(std::make_unique<Tracked>(&live));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(live, 3);
    EXPECT_EQ(list.At(1), b);
    EXPECT_EQ(list.IndexOf(b), 1);
    EXPECT_TRUE(list.Remove(a));
    EXPECT_EQ(live, 2);
    EXPECT_FALSE(list.Remove(a));
    EXPECT_EQ(list.IndexOf(b), 0);
    EXPECT_THROW(list.At(2), std::out_of_range);
    EXPECT_THROW(list.RemoveAt(-1), std::out_of_range);
    list.RemoveAt(1);
    EXPECT_EQ(live, 1);
    list.Clear();
    EXPECT_EQ(live, 0);
    EXPECT_EQ(list.Count(), 0);
    list.Add(std::make_unique<Tracked>(&live));
  }
  EXPECT_EQ(live, 0);  // destroyed with the list
}

}  // namespace
}  // namespace dbase
