// CursorGuard: saves the cursor of a table handler (the current record with its buffer, EOF and
// BOF, read-ahead, the current tag, whether the filter is active, the table state) and puts it
// back when the scope ends, on every exit path. Operations that move through a table on the
// caller's behalf (filter scans, searches, copies, sorted copies, enciphering) hold one, so that
// a failure part-way leaves the table as the caller had it.
#pragma once

#include <cstdint>
#include <vector>

namespace dbase {

class dBHandler;
class IndexTag;

class CursorGuard {
 public:
  explicit CursorGuard(dBHandler& table);
  ~CursorGuard();
  CursorGuard(const CursorGuard&) = delete;
  CursorGuard& operator=(const CursorGuard&) = delete;

  // The operation ended on the record it was to find: the record stays where it is; read-ahead,
  // tag, filter and state are still put back.
  void KeepPosition() { keep_position_ = true; }
  int32_t record() const { return record_; }

 private:
  dBHandler& table_;
  int32_t record_;
  std::vector<uint8_t> buffer_;
  bool eof_;
  bool bof_;
  bool positioned_;
  bool position_changed_;
  bool read_ahead_;
  IndexTag* tag_;
  bool filter_active_;
  int state_;
  bool keep_position_ = false;
};

}  // namespace dbase
