// The file-name arithmetic of the engine: trimming, base names and extensions of table, memo
// and index files. Both "/" and "\" count as folder separators.
#pragma once

#include <string>

namespace dbase {

// Without surrounding blanks, tabs and line ends.
std::string TrimName(const std::string& name);
// Start of the last path component.
size_t NameStart(const std::string& path);
// Position of the extension's dot in the last component, or npos.
size_t ExtensionDot(const std::string& path);
// The last component without its extension ("/t/CONTAGEM.DBF" -> "CONTAGEM").
std::string BaseName(const std::string& path);
std::string WithoutExtension(const std::string& path);
// `path` with `extension` (dot included) added when it has none.
std::string WithDefaultExtension(const std::string& path, const std::string& extension);

}  // namespace dbase
