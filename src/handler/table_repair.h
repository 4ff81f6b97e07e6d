// Checking a table with its index files, and repairing what can be mended without guessing: the
// record count from the file size (whole records only), the end-of-file mark, memo references
// that lead nowhere (blanked), memos sharing blocks or a damaged memo file header or free list
// (every readable memo copied into a new memo file) and indexes (rebuilt). Damage that would need
// a guess (descriptors, a number field holding other text, a deletion flag) is left alone.
#pragma once

#include <string>
#include <vector>

#include "dbf/table_check.h"

namespace dbase {

// CheckTableFiles, then the table's production index and the index files `indexes`, each as
// `qdbf index check` checks it (a finding of kind "index" per damaged or unreadable file).
TableCheckResult CheckTable(const std::string& table, const std::string& password,
                            const std::vector<std::string>& indexes);

struct RepairResult {
  // Why nothing was written although damage was found; empty when the repair ran or had nothing
  // to do.
  std::string refused;
  bool rewritten = false;  // the table and its memo file were replaced
  bool reindexed = false;  // index files were rebuilt
  // The copies of the table and memo file as they were before: T.BAK and T.TBK (in the letter case
  // of the table's extension), the names restructure keeps too.
  std::vector<std::string> backups;
  // The memo references that were blanked (record, field and the block they named).
  std::vector<TableFinding> cleared;
};

// Mends the repairable findings of `found` (a CheckTable of the same table and indexes). The table
// and memo file are first copied to backups beside them, then replaced as a whole by a salvaged
// copy (dBHandler::Salvage); index files are rebuilt. Nothing is written when the header or
// descriptors are damaged, when the memo file cannot be read at all, or when nothing found is
// repairable. Write failures raise; the table then stays as it was.
RepairResult RepairTable(const std::string& table, const std::string& password, const std::vector<std::string>& indexes,
                         const TableCheckResult& found);

}  // namespace dbase
