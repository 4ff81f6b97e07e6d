// The four lock protocols of tables and their byte ranges. Ranges lie at 1,000,000,000 and
// above, beyond any real table's data: they are semaphores agreed between programs.
#pragma once

#include <cstdint>

namespace dbase {

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

}  // namespace dbase
