// Path text: joining a folder and a name with exactly one "/", the last component of a path, a
// folder without its trailing separators. Pure text; nothing here touches the file system.
#pragma once

#include <string>

namespace dbase::platform {

// folder + "/" + name with exactly one separator between them (none added when the folder ends
// in one); an empty folder is the current one, so the name is returned alone.
std::string JoinPath(const std::string& folder, const std::string& name);
// The part after the last separator.
std::string FileNamePart(const std::string& path);
// The folder without trailing separators ("/" stays "/").
std::string WithoutTrailingSeparator(std::string folder);

}  // namespace dbase::platform
