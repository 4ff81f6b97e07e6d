// DBFDate: the engine's date converter between Julian day numbers (the engine's dates), the
// stored "yyyymmdd" form and the user's short date text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dbase {

// A date is a Julian day number (JDN); 0 or below is the empty date. 1 January 1980 is 2444240.
// Dates from 1 January 0001 to 31 December 9999 (proleptic Gregorian) can be formatted; a
// positive JDN outside that range raises ConversionError when formatted.
class DBFDate {
 public:
  static constexpr int32_t kMinJul = 1721426;  // 0001-01-01
  static constexpr int32_t kMaxJul = 5373484;  // 9999-12-31

  DBFDate();

  // The engine's one instance.
  static DBFDate& Shared();

  // JDN minus the date-time day number (days since 30 December 1899) of the same day.
  int32_t offset() const { return offset_; }

  // While set, formatted dates always carry a four-digit year.
  bool century() const { return century_; }
  void set_century(bool on) { century_ = on; }

  // Calendar parts of a date; all three 0 for the empty date.
  void JulToParts(int32_t jdn, uint16_t& month, uint16_t& day, uint16_t& year) const;

  // Today's local date.
  int32_t TodayJul() const;

  // 1 Sunday .. 7 Saturday; 0 for the empty date.
  uint16_t JulDOW(int32_t jdn) const;

  // "yyyymmdd"; eight blanks for the empty date.
  std::string JulToDTOS(int32_t jdn) const;

  // The date in the short date format (four-digit year while the century flag is set); as many
  // blanks as the format has characters for the empty date.
  std::string JulToDTOC(int32_t jdn) const;

  // Reads "yyyymmdd" or a short-date text. Blank text and "00000000" give 0; so does an
  // 8-digit text that is no calendar date ("20261301"), which reads as an absent date. Any other
  // text that is not a date throws ConversionError.
  int32_t TextToJul(std::string_view text) const;

  // JDN of a proleptic Gregorian date; -1 when year (1..9999), month or day is out of range.
  static int32_t PartsToJul(int year, int month, int day);

 private:
  // The engine day of an astronomical JDN (the two scales coincide while the offset is 2415019).
  int32_t FromTrueJul(int32_t true_jdn) const;

  int32_t offset_;
  bool century_ = true;
};

}  // namespace dbase
