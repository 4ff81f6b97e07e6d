// Text helpers for comparing names typed by the user: upper case of UTF-8 text (ASCII letters
// and the Latin-1 letters that have an upper-case partner; every other character is kept), and
// the text without its surrounding blanks.
#pragma once

#include <string>
#include <string_view>

#include "platform/text_trim.h"

namespace quarvel {

std::string UpperUtf8(const std::string& text);
// Without leading and trailing blanks (the space character only).
using dbase::platform::TrimBlanks;
// Equal once both are trimmed of blanks and upper-cased.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace quarvel
