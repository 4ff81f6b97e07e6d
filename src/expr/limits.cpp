// Text length bound of operators and functions.
#include "expr/limits.h"

#include "dbf/errors.h"

namespace dbase {

void CheckTextLength(size_t length, std::string_view what) {
  if (length > kMaxTextLength) throw ExpressionError::Make(kExpTextTooLong, what, kMaxTextLength);
}

}  // namespace dbase
