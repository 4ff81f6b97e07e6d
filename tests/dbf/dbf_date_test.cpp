// DBFDate: Julian day arithmetic, stored and short-date texts, the century rule.
#include "dbf/dbf_date.h"

#include <gtest/gtest.h>

#include <ctime>

#include "dbf/errors.h"
#include "platform/locale.h"

namespace dbase {
namespace {

class DBFDateTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetShortDateFormatForTesting("dd/mm/yyyy"); }
  void TearDown() override { platform::SetShortDateFormatForTesting(std::nullopt); }

  DBFDate date_;
};

TEST_F(DBFDateTest, OffsetAndAnchorDay) {
  EXPECT_EQ(date_.offset(), 2415019);
  EXPECT_TRUE(date_.century());
  EXPECT_EQ(&DBFDate::Shared(), &DBFDate::Shared());
  EXPECT_EQ(date_.TextToJul("19800101"), 2444240);
  EXPECT_EQ(date_.JulToDTOS(2444240), "19800101");
  EXPECT_EQ(date_.JulDOW(2444240), 3);  // a Tuesday
  EXPECT_EQ(DBFDate::PartsToJul(1899, 12, 30), 2415019);
}

TEST_F(DBFDateTest, EmptyDates) {
  EXPECT_EQ(date_.JulToDTOS(0), "        ");
  EXPECT_EQ(date_.JulToDTOS(-5), "        ");
  EXPECT_EQ(date_.JulToDTOC(0), std::string(10, ' '));
  EXPECT_EQ(date_.JulDOW(0), 0);
  EXPECT_EQ(date_.TextToJul("        "), 0);
  EXPECT_EQ(date_.TextToJul(""), 0);
  EXPECT_EQ(date_.TextToJul("00000000"), 0);
  EXPECT_EQ(date_.TextToJul("  /  /    "), 0);
  uint16_t m = 9, d = 9, y = 9;
  date_.JulToParts(0, m, d, y);
  EXPECT_EQ(m + d + y, 0);
}

TEST_F(DBFDateTest, EightDigitTextThatIsNoCalendarDateReadsAsEmpty) {
  EXPECT_EQ(date_.TextToJul("20261301"), 0);
  EXPECT_EQ(date_.TextToJul("20260132"), 0);
  EXPECT_EQ(date_.TextToJul("20230229"), 0);
  EXPECT_EQ(date_.TextToJul("00000101"), 0);
  EXPECT_EQ(date_.TextToJul("20240229"), DBFDate::PartsToJul(2024, 2, 29));
}

TEST_F(DBFDateTest, FullYearRangeRoundTrips) {
  for (int year : {1, 4, 100, 1582, 1600, 1900, 2000, 2038, 2100, 9999}) {
    for (int month : {1, 2, 12}) {
      const int day = month == 2 ? 28 : 31;
      const int32_t jdn = DBFDate::PartsToJul(year, month, day);
      ASSERT_GT(jdn, 0) << year;
      uint16_t m = 0, d = 0, y = 0;
      date_.JulToParts(jdn, m, d, y);
      EXPECT_EQ(y, year);
      EXPECT_EQ(m, month);
      EXPECT_EQ(d, day);
      EXPECT_EQ(date_.TextToJul(date_.JulToDTOS(jdn)), jdn);
      EXPECT_EQ(date_.TextToJul(date_.JulToDTOC(jdn)), jdn);
    }
  }
  EXPECT_EQ(DBFDate::PartsToJul(1, 1, 1), DBFDate::kMinJul);
  EXPECT_EQ(DBFDate::PartsToJul(9999, 12, 31), DBFDate::kMaxJul);
  EXPECT_EQ(date_.JulToDTOS(DBFDate::kMinJul), "00010101");
  EXPECT_EQ(date_.JulToDTOS(DBFDate::kMaxJul), "99991231");
  // Consecutive days stay consecutive across a leap day and a century that is not leap.
  EXPECT_EQ(DBFDate::PartsToJul(2000, 3, 1) - DBFDate::PartsToJul(2000, 2, 28), 2);
  EXPECT_EQ(DBFDate::PartsToJul(1900, 3, 1) - DBFDate::PartsToJul(1900, 2, 28), 1);
}

TEST_F(DBFDateTest, DatesBeyondTheCalendarRangeRefuseToFormat) {
  EXPECT_THROW(date_.JulToDTOS(DBFDate::kMaxJul + 1), ConversionError);
  EXPECT_THROW(date_.JulToDTOC(DBFDate::kMinJul - 1), ConversionError);
  EXPECT_THROW(date_.JulToDTOS(INT32_MAX), ConversionError);
  EXPECT_EQ(date_.JulDOW(INT32_MAX), (INT32_MAX - 2415019 + 6) % 7 + 1);
}

TEST_F(DBFDateTest, PartsToJulRejectsImpossibleDates) {
  EXPECT_EQ(DBFDate::PartsToJul(0, 1, 1), -1);
  EXPECT_EQ(DBFDate::PartsToJul(10000, 1, 1), -1);
  EXPECT_EQ(DBFDate::PartsToJul(2023, 0, 1), -1);
  EXPECT_EQ(DBFDate::PartsToJul(2023, 13, 1), -1);
  EXPECT_EQ(DBFDate::PartsToJul(2023, 4, 31), -1);
  EXPECT_EQ(DBFDate::PartsToJul(2023, 4, 0), -1);
  EXPECT_EQ(DBFDate::PartsToJul(1900, 2, 29), -1);
}

TEST_F(DBFDateTest, DayOfWeek) {
  EXPECT_EQ(date_.JulDOW(DBFDate::PartsToJul(2024, 12, 1)), 1);  // Sunday
  EXPECT_EQ(date_.JulDOW(DBFDate::PartsToJul(2024, 12, 7)), 7);  // Saturday
  EXPECT_EQ(date_.JulDOW(DBFDate::PartsToJul(1, 1, 1)), 2);      // Monday
}

TEST_F(DBFDateTest, CenturyRuleWidensTwoDigitYearFormats) {
  platform::SetShortDateFormatForTesting("dd/mm/yy");
  const int32_t jdn = DBFDate::PartsToJul(2026, 12, 7);
  EXPECT_EQ(date_.JulToDTOC(jdn), "07/12/2026");
  EXPECT_EQ(date_.JulToDTOC(0), std::string(10, ' '));
  date_.set_century(false);
  EXPECT_EQ(date_.JulToDTOC(jdn), "07/12/26");
  EXPECT_EQ(date_.JulToDTOC(0), std::string(8, ' '));
  date_.set_century(true);

  platform::SetShortDateFormatForTesting("d.m.");  // no year at all: it goes first
  EXPECT_EQ(date_.JulToDTOC(jdn), "20267.12.");
}

TEST_F(DBFDateTest, ShortDateFollowsFormatOrderAndSeparator) {
  const int32_t jdn = DBFDate::PartsToJul(2026, 3, 5);
  EXPECT_EQ(date_.JulToDTOC(jdn), "05/03/2026");
  EXPECT_EQ(date_.TextToJul("5/3/2026"), jdn);
  EXPECT_EQ(date_.TextToJul(" 05/03/2026  "), jdn);

  platform::SetShortDateFormatForTesting("mm/dd/yyyy");
  EXPECT_EQ(date_.JulToDTOC(jdn), "03/05/2026");
  EXPECT_EQ(date_.TextToJul("03/05/2026"), jdn);

  platform::SetShortDateFormatForTesting("yyyy-mm-dd");
  EXPECT_EQ(date_.JulToDTOC(jdn), "2026-03-05");
  EXPECT_EQ(date_.TextToJul("2026-03-05"), jdn);

  platform::SetShortDateFormatForTesting("dd.mm.yyyy");
  EXPECT_EQ(date_.JulToDTOC(jdn), "05.03.2026");
  EXPECT_EQ(date_.TextToJul("05.03.2026"), jdn);
  EXPECT_EQ(date_.TextToJul("  .  .    "), 0);

  platform::SetShortDateFormatForTesting("d/m/yyyy");
  EXPECT_EQ(date_.JulToDTOC(jdn), "5/3/2026");
}

TEST_F(DBFDateTest, ShortDateTwoDigitAndMissingYear) {
  const int this_year = [] {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return parts.tm_year + 1900;
  }();
  uint16_t m = 0, d = 0, y = 0;
  date_.JulToParts(date_.TextToJul("01/02"), m, d, y);
  EXPECT_EQ(y, this_year);
  EXPECT_EQ(m, 2);
  EXPECT_EQ(d, 1);
  // Two-digit years fall within 50 years back and 49 ahead of this year.
  const int yy = (this_year + 10) % 100;
  date_.JulToParts(date_.TextToJul("01/02/" + std::to_string(yy)), m, d, y);
  EXPECT_EQ(y, this_year + 10);
  const int old = (this_year - 40) % 100;
  date_.JulToParts(date_.TextToJul("01/02/" + std::to_string(old)), m, d, y);
  EXPECT_EQ(y, this_year - 40);
}

TEST_F(DBFDateTest, TextThatIsNotADateThrows) {
  for (const char* text : {"abc", "31/02/2024", "1/2/3/4", "12", "1//2024", "01/13/2024", "1/1/0000", "1/1/20240",
                           "x1/1/2024", "1/1/2024x", "2024013"}) {
    EXPECT_THROW(date_.TextToJul(text), ConversionError) << text;
  }
}

TEST_F(DBFDateTest, TodayIsTheLocalDate) {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  const int32_t expected = DBFDate::PartsToJul(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
  const int32_t today = date_.TodayJul();
  // The day may turn between the two readings.
  EXPECT_TRUE(today == expected || today == expected + 1);
}

}  // namespace
}  // namespace dbase
