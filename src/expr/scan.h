// Literal-aware scanning of expression text: balancing parentheses and splitting argument
// lists while ignoring what stands inside quotes, square brackets and braces.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace dbase {

// The closing character of a literal opened by `c` (" ' [ {), or 0 when `c` opens none.
char LiteralCloser(char c);

// Position of the ")" that balances the "(" at `open`; npos when there is none.
size_t FindBalancingParen(std::string_view text, size_t open);

// The pieces of an argument text split at the commas that stand outside parentheses and
// literals (pieces are not trimmed).
std::vector<std::string_view> SplitArguments(std::string_view text);

// The deepest parenthesis nesting in `text`, literals skipped.
int MaxParenDepth(std::string_view text);

}  // namespace dbase
