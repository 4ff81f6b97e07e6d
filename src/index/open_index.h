// OpenIndex: the one way to open or create an index file beside a table. The extension chooses
// the format (".ntx", ".ndx", ".mdx", ".cdx", any case); a name without one gets ".ndx"; a name
// without a folder takes the table's folder; an existing file whose name differs only in case
// is found.
#pragma once

#include <memory>
#include <string>

#include "index/index_file.h"

namespace dbase {

class IndexTable;

// The full path an index name stands for beside `table`.
std::string IndexPath(const IndexTable& table, const std::string& name);

// Opens an existing index file; "File %s could not be found" when there is none or the
// extension names no format, "Index file %s is corrupted" when it is damaged.
std::unique_ptr<IndexFile> OpenIndex(IndexTable& table, const std::string& name);

// Creates a new, empty index file (replacing one); DefineTag gives it its tags.
std::unique_ptr<IndexFile> CreateIndex(IndexTable& table, const std::string& name);

}  // namespace dbase
