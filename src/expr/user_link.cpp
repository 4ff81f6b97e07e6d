// ExpUserLink's missing-function report.
#include "expr/user_link.h"

#include "dbf/errors.h"

namespace dbase {

UserDefFunction* ExpUserLink::MissingFunction(std::string_view name) {
  throw ExpressionError::Make(kExpNoFunction, name);
}

}  // namespace dbase
