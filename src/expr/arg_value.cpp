// Argument evaluation and type checking for functions.
#include "expr/arg_value.h"

#include "dbf/errors.h"
#include "expr/user_def.h"

namespace dbase {

void ArgValue(ExpFunction& node, size_t n, Variant& out, ExpType required, ExpType& type) {
  type = ExpType::Empty;
  if (ExpBaseObject* arg = node.argument(n)) arg->Evaluate(out, type);
  if (required == ExpType::Any || type == required) return;
  if (IsNumericFamily(type) && IsNumericFamily(required)) return;
  throw ExpressionError::Make(kExpArgNeeded, ExpTypeName(required), n + 1, node.function().Name());
}

}  // namespace dbase
