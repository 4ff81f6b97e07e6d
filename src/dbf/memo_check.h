// The memo half of the table check (table_check.h): the memo file's header, each memo a record
// refers to, blocks shared by two references, and the dBase IV free list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbf/table_check.h"

namespace dbase {

// Collects findings, listing at most a bounded number of each kind.
class FindingList {
 public:
  explicit FindingList(TableCheckResult& result) : result_(result) {}
  void Add(TableFinding finding);

 private:
  TableCheckResult& result_;
  std::map<std::string, int64_t> counts_;
};

// A memo reference read from a record.
struct MemoReference {
  int64_t record = 0;
  std::string field;
  int64_t offset = 0;  // of the field in the table file
  int64_t block = 0;   // above 0
};

// Checks the memo file `memo_name` of a table of `version` (0x83 dBase III, 0x8B dBase IV, 0xF5 and
// 0x30 FoxPro) against the references its records hold. `table_name` is the table file, named in
// findings about a reference.
void CheckMemoFile(const std::string& table_name, const std::string& memo_name, uint8_t version, bool enciphered,
                   const std::vector<MemoReference>& references, FindingList& out);

}  // namespace dbase
