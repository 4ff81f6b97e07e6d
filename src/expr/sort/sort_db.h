// SortDB: the KeySort behind sort-to-file. It reads one key per record from a source table in
// the table's own order and then hands the records to a target in key order. The table handler
// connects it to its tables through SortSource and SortTarget, so this file needs neither the
// table handler nor the expression engine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dbf/value.h"
#include "expr/sort/key_sort.h"

namespace dbase {

// The source table as sort-to-file reads it: its navigation decides which records are visited
// and in what order (current index, filter, deleted records).
class SortSource {
 public:
  virtual ~SortSource() = default;
  // For the opening status report.
  virtual int32_t RecordCount() = 0;
  // Goes to the first visible record; false when there is none.
  virtual bool First() = 0;
  // Goes to the next visible record; false at the end of the file.
  virtual bool Next() = 0;
  virtual int32_t CurrentRecord() = 0;
  // Evaluates the key expression on the current record into `key`.
  virtual void EvaluateKey(Value& key) = 0;
};

// The target of sort-to-file.
class SortTarget {
 public:
  virtual ~SortTarget() = default;
  // Creates the target with the source's structure and opens it (and its memo file).
  virtual void Open() = 0;
  // Goes to `record` in the source, copies its record buffer (deletion flag included) and its
  // memos into the target and appends it.
  virtual void CopyRecord(int32_t record) = 0;
  virtual void Close() = 0;
};

// Status reports (stat1, stat2, stat3): (-1, operation, total), (operation, current, 0), (0, 0, 0).
using SortStatus = std::function<void(int32_t, int32_t, int32_t)>;

class SortDB : public KeySort {
 public:
  static constexpr int32_t kReadOperation = 5;
  static constexpr int32_t kWriteOperation = 6;

  // Key length limit 240, not unique; `collation` as for KeySort (nullptr: byte order).
  SortDB(const uint8_t* collation, bool ascending);

  // Sort sequence 2 is ascending; every other value sorts descending.
  static bool AscendingFor(int sort_sequence) { return sort_sequence == 2; }
  // The key expression trimmed of blanks on both sides; "Sort key length must be 1-%d bytes,
  // is %d" (240 and its length) when it is empty or longer than 240.
  static std::string CheckKeyExpression(std::string_view expression);

  void set_status(SortStatus status) { status_ = std::move(status); }

  // Reading: status (-1, 5, record count); one key per visited record, each followed by
  // (5, record, 0); then (0, 0, 0).
  void ReadKeys(SortSource& source);
  // Writing: status (-1, 6, keys added); Open; per key in order (6, n, 0) with n from 1 and
  // CopyRecord; Close; (0, 0, 0). An error leaves the partly written target to the caller.
  void WriteRecords(SortTarget& target);

  int32_t records_written() const { return records_written_; }

 private:
  void Report(int32_t a, int32_t b, int32_t c) const {
    if (status_) status_(a, b, c);
  }

  SortStatus status_;
  Value key_{static_cast<uint16_t>(256)};
  int32_t records_written_ = 0;
};

}  // namespace dbase
