// The table file half of the table check: header, descriptors, record count against the file
// size, end-of-file mark, and every record's bytes against its fields' types.
#include "dbf/table_check.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>

#include "dbf/byte_order.h"
#include "dbf/dbase_dbf.h"
#include "dbf/dbf_layout.h"
#include "dbf/disk_file.h"
#include "dbf/errors.h"
#include "dbf/memo_check.h"
#include "dbf/memo_file.h"
#include "dbf/table_cipher.h"
#include "platform/ascii_case.h"
#include "platform/os_file.h"

namespace dbase {

namespace {

using namespace dbf_layout;

constexpr size_t kMaxFields = 4096;
// Records are read this many bytes at a time (whole records, at least one).
constexpr size_t kReadChunk = 65536;
// Field bytes shown in a message.
constexpr size_t kShownBytes = 24;

bool KnownVersion(uint8_t v) {
  return v == kVersionDb3 || v == kVersionNoMemo || v == kVersionVfp || v == kVersionDb3Memo || v == kVersionDb4Memo ||
         v == kVersionFoxMemo;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Field bytes as a message shows them: quoted, other than printable ASCII as \xNN, cut short.
std::string Shown(std::string_view bytes) {
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size() && i < kShownBytes; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      static const char* hex = "0123456789ABCDEF";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  if (bytes.size() > kShownBytes) out += "...";
  return out + "\"";
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// N and F fields: blank, the overflow mark other dBase programs write (all "*"), or a decimal
// number with an optional sign, point and exponent, padded with spaces.
bool ValidNumber(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return true;
  if (text.find_first_not_of('*') == std::string_view::npos) return true;
  size_t at = 0;
  if (text[at] == '-' || text[at] == '+') ++at;
  size_t digits = 0;
  while (at < text.size() && Digit(text[at])) ++at, ++digits;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && Digit(text[at])) ++at, ++digits;
  }
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    size_t exponent = 0;
    while (at < text.size() && Digit(text[at])) ++at, ++exponent;
    if (exponent == 0) return false;
  }
  return at == text.size();
}

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

// D fields: "YYYYMMDD" of a real day, blank, or the zeros some writers put for no date.
bool ValidDate(std::string_view text) {
  if (Trimmed(text).empty() || text == "00000000") return true;
  if (text.size() != 8 || !std::all_of(text.begin(), text.end(), Digit)) return false;
  const int year = std::stoi(std::string(text.substr(0, 4)));
  const int month = std::stoi(std::string(text.substr(4, 2)));
  const int day = std::stoi(std::string(text.substr(6, 2)));
  return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

// A memo reference stored as text: blank, or digits right-justified in the field.
bool ParseTextBlock(std::string_view text, int64_t* block) {
  text = Trimmed(text);
  *block = 0;
  if (text.empty()) return true;
  if (text.size() > 10 || !std::all_of(text.begin(), text.end(), Digit)) return false;
  *block = std::stoll(std::string(text));
  return true;
}

struct Field {
  std::string name;
  char type = 'C';
  int length = 0;
  int decimals = 0;
  int offset = 0;
  uint32_t stored_offset = 0;  // bytes 12-15 of the descriptor
  int64_t descriptor_at = 0;   // file offset of the descriptor
};

class TableChecker {
 public:
  TableChecker(const std::string& table, const std::string& password, TableCheckResult& result)
      : file_(table, false, true), password_(password), result_(result), out_(result) {}

  void Run();

 private:
  void Add(const char* kind, int64_t offset, std::string message, bool repairable = false, int64_t record = 0,
           const std::string& field = "") {
    TableFinding f;
    f.kind = kind;
    f.file = file_.file_name();
    f.record = record;
    f.field = field;
    f.offset = offset;
    f.message = std::move(message);
    f.repairable = repairable;
    out_.Add(std::move(f));
  }
  bool ReadHeader();
  bool ReadDescriptors();
  void CheckDescriptor(const Field& f, bool vfp);
  void CheckSize();
  void CheckRecords();
  void CheckRecord(int64_t number, int64_t at, const uint8_t* record);
  void CheckField(int64_t number, int64_t at, const Field& f, const uint8_t* bytes);
  bool UsesMemoFile(const std::string& memo_name) const;

  DiskFile file_;
  std::string password_;
  TableCheckResult& result_;
  FindingList out_;
  int64_t size_ = 0;
  uint8_t header_[kHeaderBytes] = {};
  uint8_t version_ = 0;
  int64_t header_length_ = 0;
  int64_t record_length_ = 0;
  bool encrypted_ = false;
  std::vector<Field> fields_;
  std::vector<MemoReference> references_;
};

bool TableChecker::ReadHeader() {
  if (size_ < static_cast<int64_t>(kHeaderBytes) ||
      file_.Read(0, header_, kHeaderBytes) < static_cast<int64_t>(kHeaderBytes)) {
    Add("header", 0, "the file holds " + std::to_string(size_) + " bytes, fewer than the 32 of a table header");
    return false;
  }
  version_ = header_[kVersion];
  if (!KnownVersion(version_)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", version_);
    Add("version", kVersion, std::string("version byte ") + hex + " is not one of a dBase table");
    return false;
  }
  header_length_ = GetLE16(&header_[kHeaderLength]);
  record_length_ = GetLE16(&header_[kRecordLength]);
  const int64_t min_header = version_ == kVersionVfp ? 33 + kVfpBacklinkBytes : 33;
  if (record_length_ < 1) {
    Add("record-length", kRecordLength, "the record length is 0");
    return false;
  }
  if (header_length_ < min_header) {
    Add("header", kHeaderLength,
        "header length " + std::to_string(header_length_) + " is shorter than the " + std::to_string(min_header) +
            " bytes of a header without fields");
    return false;
  }
  if (header_length_ > size_) {
    Add("header", kHeaderLength,
        "header length " + std::to_string(header_length_) + " runs past the end of the file (" + std::to_string(size_) +
            " bytes)");
    return false;
  }
  encrypted_ = header_[kEncrypted] != 0;
  if (encrypted_ && password_.empty()) throw EncryptionError::Make(kNoPassword, file_.file_name());
  if (!encrypted_ && !password_.empty()) throw EncryptionError::Make(kPasswordForPlain, file_.file_name());
  return true;
}

void TableChecker::CheckDescriptor(const Field& f, bool vfp) {
  const std::string_view types = vfp ? "CNFDLMGBIYTPVQW0" : "CNFDLMBG";
  const int64_t at = f.descriptor_at;
  auto bad = [&](int64_t offset, const std::string& what) { Add("descriptor", at + offset, what, false, 0, f.name); };
  if (f.name.empty()) bad(kFieldName, "a field has no name");
  if (std::any_of(f.name.begin(), f.name.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
    bad(kFieldName, "field name " + Shown(f.name) + " holds control characters");
  }
  if (types.find(f.type) == std::string_view::npos) {
    bad(kFieldType, "field type " + Shown(std::string(1, f.type)) + " is not a type of this table's version");
    return;
  }
  auto fixed = [&](int length) {
    if (f.length != length) {
      bad(kFieldLength, std::string("a ") + f.type + " field is " + std::to_string(length) + " bytes long, not " +
                            std::to_string(f.length));
    }
  };
  switch (f.type) {
    case 'D':
    case 'T':
    case 'Y':
      fixed(8);
      break;
    case 'L':
      fixed(1);
      break;
    case 'I':
      fixed(4);
      break;
    case 'M':
    case 'G':
      fixed(vfp ? 4 : 10);
      break;
    case 'B':
      fixed(vfp ? 8 : 10);
      break;
    default:
      if (f.length < 1) bad(kFieldLength, "the field is 0 bytes long");
  }
  if ((f.type == 'N' || f.type == 'F') && f.decimals > 0 && f.decimals >= f.length) {
    bad(kFieldDecimals,
        std::to_string(f.decimals) + " decimals do not fit a field of " + std::to_string(f.length) + " bytes");
  }
  if (vfp && f.stored_offset != 0 && f.stored_offset != static_cast<uint32_t>(f.offset)) {
    bad(kFieldOffset, "the descriptor places the field at offset " + std::to_string(f.stored_offset) +
                          " of the record, the lengths before it at " + std::to_string(f.offset));
  }
}

bool TableChecker::ReadDescriptors() {
  const bool vfp = version_ == kVersionVfp;
  const size_t area = static_cast<size_t>(header_length_ - (vfp ? 33 + kVfpBacklinkBytes : 33));
  std::vector<uint8_t> bytes(area);
  if (area > 0 && file_.Read(kHeaderBytes, bytes.data(), area) < static_cast<int64_t>(area)) {
    Add("header", kHeaderBytes, "the field descriptors cannot be read whole");
    return false;
  }
  if (encrypted_) CipherInPlace(password_, bytes.data(), bytes.size());
  size_t count = area / kDescriptorBytes;
  bool terminated = false;
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i * kDescriptorBytes] == kHeaderTerminator) {
      count = i;
      terminated = true;
      break;
    }
  }
  if (!terminated) {
    // The terminator then stands right after the last descriptor, inside the header.
    const size_t at = count * kDescriptorBytes;
    uint8_t mark = 0;
    if (at < area) {
      mark = bytes[at];
    } else {
      file_.Read(kHeaderBytes + at, &mark, 1);
    }
    if (mark != kHeaderTerminator) {
      Add("terminator", static_cast<int64_t>(kHeaderBytes + at), "the field descriptors are not followed by 0x0D");
    }
  }
  if (count == 0 || count > kMaxFields) {
    Add("descriptor", kHeaderBytes, count == 0 ? "the table has no fields" : "the header holds more than 4096 fields");
    return false;
  }
  int64_t full_sum = 1, low_sum = 1;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* d = &bytes[i * kDescriptorBytes];
    Field f;
    size_t n = 0;
    while (n < kFieldNameBytes && d[n] != 0) ++n;
    f.name.assign(reinterpret_cast<const char*>(d), n);
    f.type = static_cast<char>(d[kFieldType]);
    f.length = d[kFieldLength];
    f.decimals = d[kFieldDecimals];
    f.stored_offset = GetLE32(d + kFieldOffset);
    f.descriptor_at = static_cast<int64_t>(kHeaderBytes + i * kDescriptorBytes);
    low_sum += f.length;
    if (f.type == 'C') {
      f.length += f.decimals * 256;
      f.decimals = 0;
    }
    full_sum += f.length;
    fields_.push_back(std::move(f));
  }
  // As the engine reads them: C fields whose decimals byte is a stray value when only the low
  // length bytes add up to the record length.
  if (full_sum != record_length_ && low_sum == record_length_) {
    for (size_t i = 0; i < count; ++i) {
      if (fields_[i].type == 'C') fields_[i].length = bytes[i * kDescriptorBytes + kFieldLength];
    }
    full_sum = low_sum;
  }
  if (full_sum != record_length_) {
    if (encrypted_) throw EncryptionError::Make(kInvalidPassword, file_.file_name());
    Add("record-length", kRecordLength,
        "the record length is " + std::to_string(record_length_) + " but the fields and the deletion flag take " +
            std::to_string(full_sum));
    return false;
  }
  int offset = 1;
  std::set<std::string> names;
  for (Field& f : fields_) {
    f.offset = offset;
    offset += f.length;
    CheckDescriptor(f, vfp);
    if (!f.name.empty() && !names.insert(platform::UpperAscii(f.name)).second) {
      Add("descriptor", f.descriptor_at, "two fields are named " + Shown(f.name), false, 0, f.name);
    }
  }
  return true;
}

void TableChecker::CheckSize() {
  const int64_t data = size_ - header_length_;
  const int64_t whole = data / record_length_;
  const int64_t rest = data % record_length_;
  result_.whole_records = whole;
  const int64_t stated = GetLE32(&header_[kRecordCount]);
  if (stated != whole) {
    Add("record-count", kRecordCount,
        "the header counts " + std::to_string(stated) + " records, the file holds " + std::to_string(whole) +
            " whole records",
        true);
  }
  const int64_t end = header_length_ + whole * record_length_;
  if (rest == 0) {
    Add("end-mark", end, "the end-of-file mark 0x1A is missing after the last record", true);
    return;
  }
  uint8_t first = 0;
  file_.Read(static_cast<uint64_t>(end), &first, 1);
  if (rest == 1 && first == kEndOfFile) return;
  Add("partial-record", end,
      std::to_string(rest) + " bytes after the last whole record " +
          (first == kEndOfFile ? "follow the end-of-file mark" : "are a partial record without the end-of-file mark"),
      true);
}

void TableChecker::CheckField(int64_t number, int64_t at, const Field& f, const uint8_t* bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(f.length));
  const int64_t offset = at + f.offset;
  auto bad = [&](const std::string& what) {
    Add("field-value", offset, Shown(text) + " " + what, false, number, f.name);
  };
  if (text.empty()) return;
  if (version_ == kVersionVfp) {
    // Binary fields of a length other than their type's were reported with the descriptors;
    // their bytes cannot be read as that type.
    size_t binary = 0;
    if (f.type == 'M' || f.type == 'G' || f.type == 'I') binary = 4;
    if (f.type == 'T' || f.type == 'Y' || f.type == 'B') binary = 8;
    if (binary != 0 && text.size() != binary) return;
    switch (f.type) {
      case 'M':
      case 'G': {
        if (text == "    ") return;
        const auto block = static_cast<int32_t>(GetLE32(bytes));
        if (block < 0) {
          Add("memo-reference", offset, "memo block " + std::to_string(block) + " is negative", true, number, f.name);
        } else if (block > 0) {
          references_.push_back({number, f.name, offset, block});
        }
        return;
      }
      case 'T': {
        const uint32_t day = GetLE32(bytes);
        const uint32_t ms = GetLE32(bytes + 4);
        if (text == std::string_view("\0\0\0\0\0\0\0\0", 8) || Trimmed(text).empty()) return;
        if (day == 0 || ms >= 86400000u) bad("is not a date and time");
        return;
      }
      case 'I':
      case 'Y':
      case 'B':
        return;
      default:
        break;
    }
  }
  switch (f.type) {
    case 'N':
    case 'F':
      if (!ValidNumber(text)) bad("is not a number");
      return;
    case 'D':
      if (!ValidDate(text)) bad("is not a date (YYYYMMDD or blank)");
      return;
    case 'L':
      if (std::string_view("TtFfYyNnJj? ").find(text[0]) == std::string_view::npos) bad("is not a logical value");
      return;
    case 'M':
    case 'B':
    case 'G': {
      int64_t block = 0;
      if (!ParseTextBlock(text, &block)) {
        Add("memo-reference", offset, Shown(text) + " is not a memo block number", true, number, f.name);
      } else if (block > 0) {
        references_.push_back({number, f.name, offset, block});
      }
      return;
    }
    default:
      return;
  }
}

void TableChecker::CheckRecord(int64_t number, int64_t at, const uint8_t* record) {
  if (record[0] != ' ' && record[0] != '*') {
    Add("deletion-flag", at,
        "the deletion flag is " + Shown(std::string(1, static_cast<char>(record[0]))) + ", neither \" \" nor \"*\"",
        false, number);
  }
  for (const Field& f : fields_) CheckField(number, at, f, record + f.offset);
}

void TableChecker::CheckRecords() {
  const auto length = static_cast<size_t>(record_length_);
  const size_t per_chunk = std::max<size_t>(1, kReadChunk / length);
  std::vector<uint8_t> chunk(per_chunk * length);
  for (int64_t first = 0; first < result_.whole_records; first += static_cast<int64_t>(per_chunk)) {
    const size_t n =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(per_chunk), result_.whole_records - first));
    const int64_t at = header_length_ + first * record_length_;
    if (file_.Read(static_cast<uint64_t>(at), chunk.data(), n * length) < static_cast<int64_t>(n * length)) {
      throw EngineError::Make(kReadError, file_.file_name());
    }
    for (size_t i = 0; i < n; ++i) {
      uint8_t* record = &chunk[i * length];
      if (encrypted_) CipherInPlace(password_, record, length);
      CheckRecord(first + static_cast<int64_t>(i) + 1, at + static_cast<int64_t>(i * length), record);
    }
  }
}

bool TableChecker::UsesMemoFile(const std::string& memo_name) const {
  if (version_ == kVersionDb3Memo || version_ == kVersionDb4Memo || version_ == kVersionFoxMemo) return true;
  return version_ == kVersionVfp && ((header_[kTableFlags] & 2) != 0 || platform::FileExistsAnyCase(memo_name));
}

void TableChecker::Run() {
  file_.Open();
  size_ = file_.FileSize();
  if (!ReadHeader() || !ReadDescriptors()) return;
  result_.structure_sound = true;
  CheckSize();
  CheckRecords();
  const std::string_view memo_types = version_ == kVersionVfp ? "MG" : "MBG";
  const bool memo_fields = std::any_of(fields_.begin(), fields_.end(), [&](const Field& f) {
    return memo_types.find(f.type) != std::string_view::npos;
  });
  if (!memo_fields) return;
  const std::string memo_name = MemoFile::MemoFileName(version_, file_.file_name());
  if (!UsesMemoFile(memo_name)) {
    if (!references_.empty()) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", version_);
      Add("version", kVersion,
          std::string("the table has memo references but its version byte ") + hex + " announces no memo file");
    }
    return;
  }
  CheckMemoFile(file_.file_name(), memo_name, version_, encrypted_, references_, out_);
}

}  // namespace

bool TableCheckResult::AnyRepairable() const {
  return std::any_of(findings.begin(), findings.end(), [](const TableFinding& f) { return f.repairable; });
}

bool TableCheckResult::AnyUnrepairable() const {
  return std::any_of(findings.begin(), findings.end(), [](const TableFinding& f) { return !f.repairable; });
}

TableCheckResult CheckTableFiles(const std::string& table, const std::string& password) {
  TableCheckResult result;
  TableChecker(table, password, result).Run();
  return result;
}

std::string FindingPlace(const TableFinding& finding) {
  std::string out = finding.file;
  if (finding.record > 0) out += ", record " + std::to_string(finding.record);
  if (!finding.field.empty()) out += ", field " + finding.field;
  if (finding.block >= 0) out += ", block " + std::to_string(finding.block);
  if (finding.offset >= 0) out += ", offset " + std::to_string(finding.offset);
  return out;
}

}  // namespace dbase
