// SortDB: the reading and writing phases of sort-to-file.
#include "expr/sort/sort_db.h"

#include <algorithm>
#include <limits>

#include "dbf/errors.h"

namespace dbase {

SortDB::SortDB(const uint8_t* collation, bool ascending) : KeySort(kMaxKeyLength, collation, ascending, false) {}

std::string SortDB::CheckKeyExpression(std::string_view expression) {
  const size_t begin = expression.find_first_not_of(' ');
  const std::string_view trimmed =
      begin == std::string_view::npos ? std::string_view() : expression.substr(begin, expression.find_last_not_of(' ') - begin + 1);
  if (trimmed.empty() || trimmed.size() > static_cast<size_t>(kMaxKeyLength)) {
    const size_t shown = std::min(trimmed.size(), static_cast<size_t>(std::numeric_limits<int32_t>::max()));
    throw EngineError::Make(kSortKeyLength, kMaxKeyLength, static_cast<int32_t>(shown));
  }
  return std::string(trimmed);
}

void SortDB::ReadKeys(SortSource& source) {
  Report(-1, kReadOperation, source.RecordCount());
  for (bool more = source.First(); more; more = source.Next()) {
    const int32_t record = source.CurrentRecord();
    source.EvaluateKey(key_);
    AddKey(key_, record);
    Report(kReadOperation, record, 0);
  }
  Report(0, 0, 0);
}

void SortDB::WriteRecords(SortTarget& target) {
  const int64_t total = keys_added();
  Report(-1, kWriteOperation, static_cast<int32_t>(std::min<int64_t>(total, std::numeric_limits<int32_t>::max())));
  target.Open();
  int32_t record = 0;
  while (NextKey(key_, record)) {
    Report(kWriteOperation, records_written_ + 1, 0);
    target.CopyRecord(record);
    ++records_written_;
  }
  target.Close();
  Report(0, 0, 0);
}

}  // namespace dbase
