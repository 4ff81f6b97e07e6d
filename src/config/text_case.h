// Upper case of UTF-8 text for comparisons of names typed by the user: ASCII letters and the
// Latin-1 letters that have an upper-case partner; every other character is kept.
#pragma once

#include <string>

namespace quarvel {

std::string UpperUtf8(const std::string& text);

}  // namespace quarvel
