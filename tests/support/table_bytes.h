// Builds table file bytes by hand, independently of the engine's builders, so tests can make
// well-formed and deliberately damaged tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct RawField {
  std::string name;
  char type;
  int length;  // C fields above 255 go into the decimals byte as the high byte
  int decimals = 0;
};

// Header, descriptors, 0x0D, the records as given (each must be record-length bytes), 0x1A.
// `extra` bytes are placed after the terminator and counted in the header length.
std::string TableBytes(uint8_t version, const std::vector<RawField>& fields,
                       const std::vector<std::string>& records, int extra = 0);

int RecordLength(const std::vector<RawField>& fields);

}  // namespace testsupport
