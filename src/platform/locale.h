// Locale layer: Windows-1252 case mapping, the user's short date format and decimal separator
// (from the process's POSIX locale), and the Windows-1252 <-> code page 850 translation.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dbase::platform {

// Byte-wise case mapping of Windows-1252 text. Letters without a partner in the code page
// (ß, µ, ª, º) are left alone, as are ÷ and ×.
char UpperChar(char c);
char LowerChar(char c);
std::string UpperText(std::string_view text);
std::string LowerText(std::string_view text);

// The short date format as a pattern of d, m and y runs with literal separators, e.g.
// "dd/mm/yyyy" or "dd.mm.yyyy". Taken from the process's LC_TIME (so the program must call
// setlocale to adopt the user's settings); under the C/POSIX locale it is "dd/mm/yyyy".
std::string ShortDateFormat();

// Translates a POSIX date format (nl_langinfo(D_FMT), e.g. "%d/%m/%Y") to the pattern form above.
// Unknown conversions and non-ASCII literals are dropped; a result without day, month and year
// fields gives "dd/mm/yyyy".
std::string DateFormatFromPosix(std::string_view posix_format);

// The first character of the short date format that is not part of a field; '/' if none.
char DateSeparator();

// The decimal separator of the process's LC_NUMERIC; '.' under the C/POSIX locale.
char DecimalSeparator();

// Overrides for tests (std::nullopt restores the locale's own value). Not thread-safe: tests
// set them before the code under test runs.
void SetShortDateFormatForTesting(std::optional<std::string> format);
void SetDecimalSeparatorForTesting(std::optional<char> separator);

// Windows-1252 <-> code page 850. Characters present in both code pages keep their meaning;
// the remaining bytes of each side are paired with each other so that every byte survives a
// round trip (nothing is replaced by '?').
std::string Cp1252ToCp850(std::string_view text);
std::string Cp850ToCp1252(std::string_view text);

}  // namespace dbase::platform
