// Bounds that keep malformed or hostile expressions from exhausting the stack or memory.
#pragma once

#include <cstddef>
#include <string_view>

namespace dbase {

// Groups, function calls and .NOT. wraps nested inside one another while compiling.
inline constexpr int kMaxNesting = 100;
// Levels of the finished tree (evaluation, text rebuilding and destruction recurse over it).
inline constexpr int kMaxTreeHeight = 1000;
// Longest text a function or operator may build.
inline constexpr size_t kMaxTextLength = size_t{16} << 20;

// Raises "Result of %s would exceed %d characters" when `length` is above kMaxTextLength.
void CheckTextLength(size_t length, std::string_view what);

}  // namespace dbase
