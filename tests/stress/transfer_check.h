// The checks of a table after the transfer stress test: the file's own consistency (header count,
// end marker, memo blocks that no two memos and no free run share) and what the workers' reports
// call for (the total, the records appended, the writes made).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stress/transfer_table.h"

namespace stress {

struct Expected {
  int64_t total = 0;     // the sum of every balance
  int64_t records = 0;   // initial records + appends
  int64_t versions = 0;  // two per transfer: the sum of every record's version
};

// Every problem found, one line each; empty when the table is whole.
std::vector<std::string> CheckFinalTable(const std::string& path, MemoFormat format, const Expected& expected);

}  // namespace stress
