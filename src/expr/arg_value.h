// ArgValue: how a function fetches and type-checks its arguments.
#pragma once

#include <cstddef>

#include "expr/exp_type.h"
#include "expr/nodes.h"
#include "expr/variant.h"

namespace dbase {

// Evaluates argument n (0-based) of `node` into `out` and its type into `type`; a missing
// argument gives type Empty and leaves `out` alone. Unless `required` is Any, a type other than
// `required` (the numeric family counting as one) raises "%s needed for Argument %d of %s".
void ArgValue(ExpFunction& node, size_t n, Variant& out, ExpType required, ExpType& type);

}  // namespace dbase
