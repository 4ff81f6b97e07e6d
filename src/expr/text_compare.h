// Text comparison of the comparison operators, and the wildcard matcher it uses.
#pragma once

#include <string_view>

#include "expr/nodes.h"

namespace dbase {

// Negative, zero or positive for left against right. Trailing blanks and control characters
// are ignored; an empty side sorts first; with case_insensitive both sides are compared in upper
// case; with wildcards a right text that begins or ends with wild_many is a pattern, giving zero
// when it matches and negative otherwise; else bytes compare as unsigned values.
int CompareTexts(std::string_view left, std::string_view right, const OperatorSettings& settings);

// Whether `pattern` occurs in `subject`: wild_many runs at either end are dropped, wild_many
// inside the pattern stands for any run of characters and wild_one for any one character.
// A pattern of nothing but wild_many matches every non-empty subject.
bool WildcardMatch(std::string_view pattern, std::string_view subject, char wild_many, char wild_one);

// The text without trailing characters at or below the blank (blanks and control characters).
std::string_view TrimTrailing(std::string_view text);
// The text without leading characters at or below the blank.
std::string_view TrimLeading(std::string_view text);

}  // namespace dbase
