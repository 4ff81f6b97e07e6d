// CursorGuard: what it saves and how it puts it back.
#include "handler/cursor_guard.h"

#include <cstring>

#include "handler/db_handler.h"

namespace dbase {

CursorGuard::CursorGuard(dBHandler& table)
    : table_(table),
      record_(table.record_number()),
      buffer_(table.record(), table.record() + table.record_length() + 1),
      eof_(table.eof()),
      bof_(table.bof()),
      positioned_(table.positioned_),
      position_changed_(table.position_changed_),
      read_ahead_(table.read_ahead_),
      tag_(table.current_tag_),
      filter_active_(table.filter_active_),
      state_(table.state()) {}

CursorGuard::~CursorGuard() {
  dBHandler& t = table_;
  try {
    if (!keep_position_) {
      // Read again, as the record may have changed on disk, then the buffer as the caller left it.
      if (record_ > 0 && record_ <= t.record_count()) t.dBaseFld::GetRecord(record_);
      t.SetRecordNumber(record_);
      std::memcpy(t.record(), buffer_.data(), buffer_.size());
      t.SetEof(eof_);
      t.SetBof(bof_);
      t.positioned_ = positioned_;
      t.position_changed_ = position_changed_;
    }
  } catch (...) {
    // A destructor must not throw; the error that ended the operation is the one to report.
  }
  t.current_tag_ = tag_;
  t.filter_active_ = filter_active_;
  t.set_state(state_);
  try {
    t.SetReadAhead(read_ahead_);
  } catch (...) {
  }
}

}  // namespace dbase
