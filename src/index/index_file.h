// The seam where index files join a table. An index file holds one or more tags; a tag orders
// the table's records by a key expression. The formats (NTX, NDX, MDX, CDX) derive from these
// classes; until one is built, a table has no index file open and no tag.
#pragma once

#include <string>

namespace dbase {

class IndexTag {
 public:
  virtual ~IndexTag() = default;
  virtual const std::string& name() const = 0;
};

class IndexFile {
 public:
  virtual ~IndexFile() = default;
  virtual bool Lock() = 0;
  virtual void Unlock() = 0;
};

}  // namespace dbase
