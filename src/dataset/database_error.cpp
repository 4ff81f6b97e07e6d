// Placeholder filling for the dataset's messages.
#include "dataset/database_error.h"

#include "dbf/errors.h"

namespace quarvel::detail {

std::string Format(std::string_view pattern, const std::vector<std::string>& args) {
  return dbase::FormatText(pattern, args);
}

}  // namespace quarvel::detail
