// Lists of names separated by ";" ("CODIGO; QTD"), as field lists of searches, lookups and
// master-detail links are written: every name trimmed of blanks and tabs, empty names dropped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dbase::platform {

std::vector<std::string> SplitNameList(std::string_view list);

}  // namespace dbase::platform
