// Path text helpers.
#include "platform/paths.h"

namespace dbase::platform {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string FileNamePart(const std::string& path) {
  const auto sep = path.rfind('/');
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace dbase::platform
