// The one splitter of ";"-separated name lists.
#include "platform/name_list.h"

#include "platform/text_trim.h"

namespace dbase::platform {

std::vector<std::string> SplitNameList(std::string_view list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t semi = list.find(';', start);
    const std::string_view name =
        TrimBlanksAndTabs(list.substr(start, semi == std::string_view::npos ? std::string_view::npos : semi - start));
    if (!name.empty()) names.emplace_back(name);
    if (semi == std::string_view::npos) break;
    start = semi + 1;
  }
  return names;
}

}  // namespace dbase::platform
