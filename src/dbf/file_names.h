// The file-name arithmetic of the engine: trimming, base names and extensions of table, memo
// and index files. Both "/" and "\" count as folder separators.
#pragma once

#include <string>
#include <string_view>

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
// The name of a file the engine keeps beside a table (memo file, index file): the table name
// trimmed, its extension replaced by `extension` (dot included) in the letter case of the table's
// own extension, which is where other dBase programs on a case-sensitive file system look for it
// ("t.dbf" -> "t.dbt", "T.DBF" -> "T.DBT"). An extension with any lower-case letter counts as lower
// case; a table without one as upper case, the case of the ".DBF" the engine adds.
std::string CompanionFileName(const std::string& table_file_name, std::string_view extension);

}  // namespace dbase
