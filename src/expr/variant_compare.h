// Comparison of two variants of possibly different kinds, as INLIST, BETWEEN, MAX and MIN need.
#pragma once

#include "expr/variant.h"

namespace dbase {

// Three-way comparison (-1, 0, 1). Null equals null and sorts before everything else. Texts
// compare byte by byte (unsigned). A text meets a number as the number it reads as ("."
// decimal point), a boolean meets a number as 1 or 0, and a text meets a boolean as "T"/"TRUE"
// or "F"/"FALSE" (any case); a text that cannot be read so raises "Values of types %s and %s
// cannot be compared".
int CompareVariants(const Variant& a, const Variant& b);

}  // namespace dbase
