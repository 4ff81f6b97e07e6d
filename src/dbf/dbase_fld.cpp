// dBaseFld: field lookup and typed field access over the record buffer.
#include "dbf/dbase_fld.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "dbf/dbf_date.h"
#include "dbf/byte_order.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "dbf/memo_file.h"
#include "dbf/number_text.h"
#include "platform/ascii_case.h"

namespace dbase {

namespace {

constexpr std::string_view kTrueLetters = "TtYyJj";
constexpr std::string_view kFalseLetters = "FfNn";
constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kJulianDayOfYearOne = 1721425;

bool IsTrueLetter(uint8_t c) { return kTrueLetters.find(static_cast<char>(c)) != std::string_view::npos; }

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}
std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

// A value truncated toward zero and clamped into the 32-bit range (binary fields cannot hold more).
int32_t ClampToI32(long double v) {
  if (!(v == v)) return 0;
  v = std::trunc(v);
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}
int64_t ClampToI64(long double v) {
  if (!(v == v)) return 0;
  if (v >= 9.2e18L) return std::numeric_limits<int64_t>::max();
  if (v <= -9.2e18L) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(v);
}

// The fixed-point text of a number for a field of `width`. A field narrower than its decimals
// allow (N 3 2, which other programs write) holds a value below 1 without the "0" in front of
// the point (".99", "-.5"); longer than `width` when the value does not fit even so.
std::string FitNumber(long double value, int width, int decimals) {
  std::string text = FormatFixed(value, width, decimals);
  if (text.size() <= static_cast<size_t>(width)) return text;
  size_t zero = text.find_first_not_of(" -");
  if (zero != std::string::npos && text.compare(zero, 2, "0.") == 0) {
    text.erase(zero, 1);
    if (text.size() < static_cast<size_t>(width)) text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
  }
  return text;
}

std::string GeneralNumber(long double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::general, 15);
  return std::string(buf, res.ptr);
}

}  // namespace

dBaseFld::dBaseFld(const std::string& file_name, const std::string& password, bool read_write, bool shared)
    : dBaseDBF(file_name, password, read_write, shared) {
  field_objects_.reserve(descriptors().size());
  for (const FieldDescriptor& d : descriptors()) field_objects_.push_back(std::make_unique<DBFFields>(this, d));
  ClearChangeFlags();
}

dBaseFld::~dBaseFld() = default;

void dBaseFld::GetRecord(int32_t request) {
  dBaseDBF::GetRecord(request);
  ClearChangeFlags();
}

int dBaseFld::FieldNumber(std::string_view name) const {
  name = TrimRight(name);
  if (name.empty() || name.size() > 11) return 0;
  for (const FieldDescriptor& d : descriptors()) {
    if (platform::EqualIgnoringAsciiCase(d.name, name)) return d.number;
  }
  return 0;
}

const FieldDescriptor& dBaseFld::FieldByName(std::string_view name) const {
  int n = FieldNumber(name);
  if (n == 0) throw EngineError::Make(kNoFieldName, file_name() + "->" + std::string(name));
  return Descriptor(n);
}

int dBaseFld::TypedField(std::string_view name, std::string_view types) const {
  const FieldDescriptor& d = FieldByName(name);
  if (types.find(d.type) == std::string_view::npos) throw EngineError::Make(kIncorrectType, std::string(name));
  return d.number;
}

std::string dBaseFld::BaseNameForMessage() const { return BaseName(file_name()); }

bool dBaseFld::IsMemoType(int field) const {
  if (!ValidField(field)) return false;
  char t = Descriptor(field).type;
  // In a Visual FoxPro table B holds a double, not a memo reference.
  return t == 'M' || t == 'G' || (t == 'B' && version() != kVersionVfp);
}

// ---- descriptors ----

int dBaseFld::FieldDecimals(int field) const { return ValidField(field) ? Descriptor(field).decimals : 0; }
int dBaseFld::FieldLen(int field) const { return ValidField(field) ? Descriptor(field).length : 0; }
int dBaseFld::FieldOffset(int field) const { return ValidField(field) ? Descriptor(field).offset : 0; }
std::string dBaseFld::FieldName(int field) const { return ValidField(field) ? Descriptor(field).name : ""; }
char dBaseFld::FieldType(int field) const { return ValidField(field) ? Descriptor(field).type : '\0'; }

// ---- raw text ----

std::string dBaseFld::FieldGet(int field) const {
  if (!ValidField(field)) return "";
  const FieldDescriptor& d = Descriptor(field);
  return std::string(reinterpret_cast<const char*>(record() + d.offset), static_cast<size_t>(d.length));
}

std::string dBaseFld::FieldGetByName(std::string_view name) const { return FieldGet(FieldByName(name).number); }

bool dBaseFld::FieldPut(int field, std::string_view text) {
  if (!ValidField(field)) return false;
  const FieldDescriptor& d = Descriptor(field);
  uint8_t* p = record() + d.offset;
  size_t len = static_cast<size_t>(d.length);
  std::memset(p, ' ', len);
  size_t n = std::min(len, text.size());
  bool left = d.type == 'C' || d.type == 'D' || d.type == 'L';
  std::memcpy(p + (left ? 0 : len - n), text.data(), n);
  SetFieldsChanged(field);
  return true;
}

bool dBaseFld::FieldPutByName(std::string_view name, std::string_view text) {
  return FieldPut(FieldByName(name).number, text);
}

// ---- blank, delete, recall ----

void dBaseFld::Blank() {
  std::memset(record(), ' ', static_cast<size_t>(record_length()));
  for (const FieldDescriptor& d : descriptors()) {
    bool binary = version() == kVersionVfp && std::string_view("BGIMTY").find(d.type) != std::string_view::npos;
    if (binary) {
      NumberPut(d.number, 0);
    } else if (d.type == 'N' || d.type == 'F') {
      // A field too narrow even for 0 with its decimals stays blank, which reads as 0.
      std::string zero = FitNumber(0, d.length, d.decimals);
      if (zero.size() <= static_cast<size_t>(d.length)) FieldPut(d.number, zero);
    }
  }
  SetAllChangeFlags();
  Notify(kEventBlank, 0);
}

void dBaseFld::Delete() {
  if (record()[0] == '*') return;
  record()[0] = '*';
  SetFieldsChanged(0);
  PutRecord(record_number());
}

void dBaseFld::Undelete() {
  if (record()[0] == ' ') return;
  record()[0] = ' ';
  SetFieldsChanged(0);
  PutRecord(record_number());
}

// ---- numbers ----

long double dBaseFld::NumberGet(int field) const {
  if (!ValidField(field)) return 0;
  const FieldDescriptor& d = Descriptor(field);
  const uint8_t* p = record() + d.offset;
  if (version() == kVersionVfp) {
    switch (d.type) {
      case 'B':
        if (d.length >= 8) {
          double v;
          std::memcpy(&v, p, 8);
          return v;
        }
        break;
      case 'G':
      case 'I':
      case 'M':
        if (d.length >= 4) return std::memcmp(p, "    ", 4) == 0 ? 0 : static_cast<int32_t>(GetLE32(p));
        break;
      case 'T':
        if (d.length >= 8) {
          int32_t day = static_cast<int32_t>(GetLE32(p)), ms = static_cast<int32_t>(GetLE32(p + 4));
          if (day == 0 && ms == 0) return 0;
          return static_cast<long double>((static_cast<int64_t>(day) - kJulianDayOfYearOne) * kMsPerDay + ms);
        }
        break;
      case 'Y':
        if (d.length >= 8) return static_cast<long double>(static_cast<int64_t>(GetLE64(p))) / 10000.0L;
        break;
      default:
        break;
    }
  }
  std::string_view text(reinterpret_cast<const char*>(p), static_cast<size_t>(d.length));
  bool plain = false;
  const long double value = ParsePlainDecimal(text, &plain);
  if (plain) return value;
  text = TrimRight(text);
  if (text.empty()) return 0;
  std::optional<long double> v = ParseDecimal(text);
  if (!v) {
    throw EngineError::Make(kInvalidNumber,
                            BaseNameForMessage() + "->" + d.name + " (" + std::string(TrimLeft(text)) + ")");
  }
  return *v;
}

long double dBaseFld::NumberGetByName(std::string_view name) const { return NumberGet(TypedField(name, "NFBGIM")); }

bool dBaseFld::NumberPut(int field, long double value) {
  if (!ValidField(field)) return false;
  const FieldDescriptor& d = Descriptor(field);
  bool vfp = version() == kVersionVfp;
  std::string_view allowed = vfp ? "NFBGMITY" : "NFBGM";
  if (allowed.find(d.type) == std::string_view::npos) throw EngineError::Make(kIncorrectType, d.name);
  uint8_t* p = record() + d.offset;
  if (vfp && std::string_view("BGIMTY").find(d.type) != std::string_view::npos) {
    size_t need = (d.type == 'B' || d.type == 'T' || d.type == 'Y') ? 8 : 4;
    if (static_cast<size_t>(d.length) < need) throw EngineError::Make(kIncorrectType, d.name);
    switch (d.type) {
      case 'B': {
        double v = static_cast<double>(value);
        std::memcpy(p, &v, 8);
        break;
      }
      case 'T': {
        if (value == 0) {
          std::memset(p, 0, 8);
          break;
        }
        int64_t total = ClampToI64(value);
        int64_t day = total / kMsPerDay;
        int64_t ms = total - day * kMsPerDay;
        PutLE32(p, static_cast<uint32_t>(day + kJulianDayOfYearOne));
        PutLE32(p + 4, static_cast<uint32_t>(ms));
        break;
      }
      case 'Y':
        PutLE64(p, static_cast<uint64_t>(ClampToI64(std::nearbyint(value * 10000.0L))));
        break;
      default:
        PutLE32(p, static_cast<uint32_t>(ClampToI32(value)));
        break;
    }
    SetFieldsChanged(field);
    return true;
  }
  std::string text = FitNumber(value, d.length, d.decimals);
  if (text.size() > static_cast<size_t>(d.length)) {
    throw EngineError::Make(kNumberTooBig, d.name + " - " + std::string(TrimLeft(text)));
  }
  return FieldPut(field, text);
}

bool dBaseFld::NumberPutByName(std::string_view name, long double value) {
  return NumberPut(TypedField(name, "NFBGIM"), value);
}

// ---- dates ----

int32_t dBaseFld::DateGet(int field) const {
  if (!ValidField(field)) return 0;
  std::string text = FieldGet(field);
  try {
    return DBFDate::Shared().TextToJul(text);
  } catch (const ConversionError&) {
    throw EngineError::Make(kInvalidDate, BaseNameForMessage() + "->" + Descriptor(field).name + " (" + text + ")");
  }
}

int32_t dBaseFld::DateGetByName(std::string_view name) const { return DateGet(TypedField(name, "D")); }

bool dBaseFld::DatePut(int field, int32_t jdn) {
  if (!ValidField(field) || Descriptor(field).type != 'D') return false;
  if (jdn == -1) throw EngineError::Make(kInvalidValue, "Date", Descriptor(field).name);
  std::string text;
  try {
    text = DBFDate::Shared().JulToDTOS(jdn);
  } catch (const ConversionError&) {
    throw EngineError::Make(kInvalidValue, "Date", Descriptor(field).name);
  }
  return FieldPut(field, text);
}

bool dBaseFld::DatePutByName(std::string_view name, int32_t jdn) { return DatePut(TypedField(name, "D"), jdn); }

// ---- logicals ----

bool dBaseFld::LogicGet(int field) const {
  if (!ValidField(field)) return false;
  return IsTrueLetter(record()[Descriptor(field).offset]);
}

bool dBaseFld::LogicGetByName(std::string_view name) const { return LogicGet(TypedField(name, "L")); }

bool dBaseFld::LogicPut(int field, bool value) {
  if (!ValidField(field)) return false;
  if (Descriptor(field).type != 'L') throw EngineError::Make(kInvalidValue, "Logical", Descriptor(field).name);
  return FieldPut(field, value ? "T" : "F");
}

bool dBaseFld::LogicPutByName(std::string_view name, bool value) { return LogicPut(TypedField(name, "L"), value); }

// ---- display text ----

std::string dBaseFld::StringGet(int field) {
  if (!ValidField(field)) return "";
  const FieldDescriptor& d = Descriptor(field);
  if (version() == kVersionVfp && std::string_view("BITY").find(d.type) != std::string_view::npos) {
    // Binary fields of these tables hold numbers, not text: show the number.
    return GeneralNumber(NumberGet(field));
  }
  std::string raw = FieldGet(field);
  std::string_view text = TrimRight(raw);
  switch (d.type) {
    case 'B':
    case 'G': {
      text = TrimLeft(text);
      bool present = text > std::string_view("0");
      if (d.type == 'B') return present ? "--BINARY--" : "--binary--";
      return present ? "-GENERAL--" : "-general--";
    }
    case 'D': {
      std::string s = DBFDate::Shared().JulToDTOC(DateGet(field));
      return std::string(TrimRight(s));
    }
    case 'F':
    case 'N':
      text = TrimLeft(text);
      if (text.empty()) return FormatFixed(0, 0, d.decimals);
      return std::string(text);
    case 'L':
      return IsTrueLetter(record()[d.offset]) ? "T" : "F";
    case 'M':
      return MemoRead(field);
    default:
      return std::string(text);
  }
}

std::string dBaseFld::StringGetByName(std::string_view name) { return StringGet(FieldByName(name).number); }

bool dBaseFld::StringPut(int field, std::string_view text) {
  if (!ValidField(field)) return false;
  const FieldDescriptor& d = Descriptor(field);
  switch (d.type) {
    case 'D': {
      int32_t jdn;
      try {
        jdn = DBFDate::Shared().TextToJul(text);
      } catch (const ConversionError&) {
        throw EngineError::Make(kInvalidValue, "Date", d.name);
      }
      // A stored date that is no calendar date reads as empty, but storing one ("20241399")
      // would lose the value given: only a blank or all-zero text means the empty date.
      if (jdn == 0 && text.find_first_of("123456789") != std::string_view::npos) {
        throw EngineError::Make(kInvalidValue, "Date", d.name);
      }
      return DatePut(field, jdn);
    }
    case 'L': {
      char c = text.empty() ? 'F' : text[0];
      if (kTrueLetters.find(c) != std::string_view::npos) return LogicPut(field, true);
      if (kFalseLetters.find(c) != std::string_view::npos) return LogicPut(field, false);
      std::optional<long double> v = ParseDecimal(text);
      if (!v) throw EngineError::Make(kInvalidValue, "Logical", d.name);
      return LogicPut(field, std::trunc(*v) != 0);
    }
    case 'M':
      MemoWrite(field, text);
      return true;
    case 'N':
    case 'F': {
      std::string_view t = TrimRight(text);
      long double value = 0;
      if (!t.empty()) {
        std::optional<long double> v = ParseDecimal(t);
        if (!v) throw EngineError::Make(kInvalidValue, "Number", d.name);
        value = *v;
      }
      return NumberPut(field, value);
    }
    default:
      if (version() == kVersionVfp && std::string_view("BGITY").find(d.type) != std::string_view::npos) {
        // Binary fields take the number the text stands for; raw text would corrupt them.
        std::optional<long double> v = ParseDecimal(text);
        if (!v && !TrimRight(text).empty()) throw EngineError::Make(kInvalidValue, "Number", d.name);
        return NumberPut(field, v.value_or(0));
      }
      return FieldPut(field, text);
  }
}

bool dBaseFld::StringPutByName(std::string_view name, std::string_view text) {
  return StringPut(FieldByName(name).number, text);
}

// ---- memos ----

int32_t dBaseFld::MemoSize(int field) {
  if (!IsMemoType(field) || memo() == nullptr) return 0;
  int32_t block = ClampToI32(NumberGet(field));
  if (block <= 0) return 0;
  return memo()->MemoLength(block);
}

std::string dBaseFld::MemoRead(int field) {
  if (!IsMemoType(field) || memo() == nullptr) return "";
  int32_t block = ClampToI32(NumberGet(field));
  if (block <= 0) return "";
  std::string out;
  memo()->MemoGet(out, block, memo()->MemoLength(block));
  return out;
}

bool dBaseFld::MemoWrite(int field, std::string_view text) {
  if (!IsMemoType(field)) return false;
  // A memo field in a table without a memo file has nowhere to keep its text: saying so beats
  // reporting success and losing it.
  if (memo() == nullptr) throw EngineError::Make(kFileNotFound, MemoFile::MemoFileName(version(), file_name()));
  int32_t block = ClampToI32(NumberGet(field));
  if (block < 0) block = 0;
  int32_t result = memo()->MemoPut(text, block);
  if (text.empty() && version() != kVersionVfp) {
    // No memo: blanks, which every reader takes as none (some read a stored "0" as block 0,
    // the memo file's header).
    return FieldPut(field, "");
  }
  return NumberPut(field, text.empty() ? 0 : result);
}

}  // namespace dbase
