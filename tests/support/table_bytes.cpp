// Hand-made table bytes for tests.
#include "support/table_bytes.h"

namespace testsupport {

int RecordLength(const std::vector<RawField>& fields) {
  int n = 1;
  for (const RawField& f : fields) n += f.length;
  return n;
}

std::string TableBytes(uint8_t version, const std::vector<RawField>& fields, const std::vector<std::string>& records,
                       int extra) {
  int header_length = 32 * static_cast<int>(fields.size()) + 33 + extra;
  int record_length = RecordLength(fields);
  std::string out(32, '\0');
  out[0] = static_cast<char>(version);
  out[1] = 26;
  out[2] = 12;
  out[3] = 8;
  uint32_t count = static_cast<uint32_t>(records.size());
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<char>(count >> (8 * i));
  out[8] = static_cast<char>(header_length & 0xFF);
  out[9] = static_cast<char>(header_length >> 8);
  out[10] = static_cast<char>(record_length & 0xFF);
  out[11] = static_cast<char>(record_length >> 8);
  for (const RawField& f : fields) {
    std::string d(32, '\0');
    d.replace(0, f.name.size(), f.name);
    d[11] = f.type;
    if (f.type == 'C') {
      d[16] = static_cast<char>(f.length & 0xFF);
      d[17] = static_cast<char>(f.length >> 8);
    } else {
      d[16] = static_cast<char>(f.length);
      d[17] = static_cast<char>(f.decimals);
    }
    out += d;
  }
  out += '\x0D';
  out += std::string(static_cast<size_t>(extra), '\0');
  for (const std::string& r : records) out += r;
  out += '\x1A';
  return out;
}

}  // namespace testsupport
