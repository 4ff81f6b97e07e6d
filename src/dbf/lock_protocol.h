// The four lock protocols of tables and their byte ranges. Ranges lie at 1,000,000,000 and
// above, beyond any real table's data: they are semaphores agreed between programs.
#pragma once

#include <cstdint>

namespace dbase {

// The range a whole-file lock (full access) holds, from offset 0, in every protocol.
constexpr uint64_t kWholeFileLockLength = 0x7FFFFFFF;

enum LockProtocolKind : uint8_t { Default = 0, DB4Lock = 1, ClipLock = 2, FoxLock = 3 };

struct LockConstants {
  uint64_t table_offset = 0x40000000;
  uint64_t append_offset = 0x7FFFFFFE;
  uint64_t table_length = 0x3FFFFFFF;
};

// Constants of a protocol; false for a value of 4 or more (the caller keeps its old ones).
inline bool LockConstantsFor(int protocol, LockConstants* out) {
  switch (protocol) {
    case Default:
    case FoxLock:
      *out = LockConstants{0x40000000, 0x7FFFFFFE, 0x3FFFFFFF};
      return true;
    case DB4Lock:
      *out = LockConstants{0x40000000, 0xEFFFFFFF, 0xB0000000};
      return true;
    case ClipLock:
      *out = LockConstants{1000000000, 1000000000, 1000000000};
      return true;
    default:
      return false;
  }
}

// The byte locked for record `record` (1-based). FoxPro-style tables lock inside the table range
// at the record's own offset, or, when index files are open, counting down from the append
// byte; dBase IV locks count down below its append byte; Clipper counts up from its base.
inline bool RecordLockOffset(int protocol, uint64_t record, bool indexed, uint64_t header_length,
                             uint64_t record_length, uint64_t* offset) {
  LockConstants c;
  if (!LockConstantsFor(protocol, &c)) return false;
  switch (protocol) {
    case DB4Lock:
      *offset = c.append_offset - record - 1;
      break;
    case ClipLock:
      *offset = c.table_offset + record;
      break;
    default:
      *offset = indexed ? c.append_offset - record : c.table_offset + header_length + (record - 1) * record_length;
      break;
  }
  return true;
}

}  // namespace dbase
