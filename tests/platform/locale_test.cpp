// Locale layer: Windows-1252 case tables, date format translation, overrides, code page 850.
#include "platform/locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>

namespace dbase::platform {
namespace {

TEST(LocaleCaseTest, AsciiAndAccentedLettersPair) {
  EXPECT_EQ(UpperText("abc xyz 09!"), "ABC XYZ 09!");
  EXPECT_EQ(LowerText("ABC XYZ 09!"), "abc xyz 09!");
  EXPECT_EQ(UpperText("\xE7\xE3o \xE9\xE0\xFE"), "\xC7\xC3O \xC9\xC0\xDE");  // ção éàþ
  EXPECT_EQ(LowerText("\xC7\xC3O \xC9\xC0\xDE"), "\xE7\xE3o \xE9\xE0\xFE");
  EXPECT_EQ(UpperChar('\x9A'), '\x8A');  // š
  EXPECT_EQ(UpperChar('\x9C'), '\x8C');  // œ
  EXPECT_EQ(UpperChar('\x9E'), '\x8E');  // ž
  EXPECT_EQ(UpperChar('\xFF'), '\x9F');  // ÿ
  EXPECT_EQ(LowerChar('\x9F'), '\xFF');
}

TEST(LocaleCaseTest, NonLettersStay) {
  EXPECT_EQ(UpperChar('\xF7'), '\xF7');  // ÷
  EXPECT_EQ(LowerChar('\xD7'), '\xD7');  // ×
  EXPECT_EQ(UpperChar('\xDF'), '\xDF');  // ß has no single upper case
  EXPECT_EQ(UpperChar('\xB5'), '\xB5');  // µ
  EXPECT_EQ(UpperChar('\xAA'), '\xAA');
  // Every byte maps, and upper/lower undo each other on letters.
  for (int i = 0; i < 256; ++i) {
    const char c = static_cast<char>(i);
    if (UpperChar(c) != c) {
      EXPECT_EQ(LowerChar(UpperChar(c)), c) << i;
    }
    if (LowerChar(c) != c) {
      EXPECT_EQ(UpperChar(LowerChar(c)), c) << i;
    }
  }
}

TEST(LocaleDateFormatTest, TranslatesPosixFormats) {
  EXPECT_EQ(DateFormatFromPosix("%d/%m/%Y"), "dd/mm/yyyy");
  EXPECT_EQ(DateFormatFromPosix("%m/%d/%y"), "mm/dd/yy");
  EXPECT_EQ(DateFormatFromPosix("%d.%m.%Y"), "dd.mm.yyyy");
  EXPECT_EQ(DateFormatFromPosix("%Y-%m-%d"), "yyyy-mm-dd");
  EXPECT_EQ(DateFormatFromPosix("%F"), "yyyy-mm-dd");
  EXPECT_EQ(DateFormatFromPosix("%D"), "mm/dd/yy");
  EXPECT_EQ(DateFormatFromPosix("%-d/%-m/%Y"), "d/m/yyyy");
  EXPECT_EQ(DateFormatFromPosix("%e/%m/%Y"), "d/mm/yyyy");
  EXPECT_EQ(DateFormatFromPosix("%a %d %b %Y"), "dd mm yyyy");
  EXPECT_EQ(DateFormatFromPosix("%Y\xEB\x85\x84 %m\xEC\x9B\x94 %d\xEC\x9D\xBC"), "yyyy mm dd");
  EXPECT_EQ(DateFormatFromPosix("%Ey"), "dd/mm/yyyy");
  EXPECT_EQ(DateFormatFromPosix(""), "dd/mm/yyyy");
  EXPECT_EQ(DateFormatFromPosix("%"), "dd/mm/yyyy");
  EXPECT_EQ(DateFormatFromPosix("%d de %m de %Y"), "dd  mm  yyyy");  // literal words would read as fields
}

TEST(LocaleDateFormatTest, CLocaleAndOverrides) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(ShortDateFormat(), "dd/mm/yyyy");
  EXPECT_EQ(DateSeparator(), '/');
  EXPECT_EQ(DecimalSeparator(), '.');

  SetShortDateFormatForTesting("yyyy-mm-dd");
  SetDecimalSeparatorForTesting(',');
  EXPECT_EQ(ShortDateFormat(), "yyyy-mm-dd");
  EXPECT_EQ(DateSeparator(), '-');
  EXPECT_EQ(DecimalSeparator(), ',');

  SetShortDateFormatForTesting(std::nullopt);
  SetDecimalSeparatorForTesting(std::nullopt);
  EXPECT_EQ(ShortDateFormat(), "dd/mm/yyyy");
  EXPECT_EQ(DecimalSeparator(), '.');
}

TEST(LocaleDateFormatTest, FollowsProcessLocaleWhenInstalled) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  EXPECT_EQ(ShortDateFormat(), "dd.mm.yyyy");
  EXPECT_EQ(DateSeparator(), '.');
  EXPECT_EQ(DecimalSeparator(), ',');
  std::setlocale(LC_ALL, "C");
}

TEST(LocaleCodePageTest, SharedCharactersTranslateAndEveryByteRoundTrips) {
  // ç ã é Ç É º ª § ° in Windows-1252 and their code page 850 bytes.
  EXPECT_EQ(Cp1252ToCp850("\xE7\xE3\xE9\xC7\xC9\xBA\xAA\xA7\xB0"), "\x87\xC6\x82\x80\x90\xA7\xA6\xF5\xF8");
  EXPECT_EQ(Cp850ToCp1252("\x87\xC6\x82\x80\x90\xA7\xA6\xF5\xF8"), "\xE7\xE3\xE9\xC7\xC9\xBA\xAA\xA7\xB0");
  EXPECT_EQ(Cp1252ToCp850("plain ASCII 123"), "plain ASCII 123");
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Cp850ToCp1252(Cp1252ToCp850(all)), all);
  EXPECT_EQ(Cp1252ToCp850(Cp850ToCp1252(all)), all);
  std::string sorted = Cp1252ToCp850(all);
  std::sort(sorted.begin(), sorted.end());
  std::string sorted_all = all;
  std::sort(sorted_all.begin(), sorted_all.end());
  EXPECT_EQ(sorted, sorted_all);  // a permutation of the bytes
}

}  // namespace
}  // namespace dbase::platform
