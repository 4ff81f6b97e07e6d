// CSV lines of qdbf dump: the quick forms of plain fields and the general one.
#include "cli/qdbf/csv_writer.h"

#include <cstring>
#include <string_view>

#include "cli/qdbf/table_io.h"
#include "dbf/errors.h"

namespace qdbf {

namespace {

constexpr size_t kFlushBytes = size_t{1} << 20;

// Bytes that need no conversion to UTF-8 and no CSV quoting.
bool PlainBytes(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || c == ',' || c == '"' || c == '\r' || c == '\n') return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text, bool leading) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (leading && !text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

int Digits(std::string_view text, size_t at, size_t n) {
  int v = 0;
  for (size_t i = at; i < at + n; ++i) v = v * 10 + (text[i] - '0');
  return v;
}

// A stored date of eight digits that is a day of the Gregorian calendar between 1583 and 9999:
// the date conversion reads it and writes it back unchanged.
bool PlainDate(std::string_view text) {
  if (text.size() != 8) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const int year = Digits(text, 0, 4);
  const int month = Digits(text, 4, 2);
  const int day = Digits(text, 6, 2);
  if (year < 1583 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace

CsvWriter::CsvWriter(dbase::dBHandler& table, std::FILE* out, bool with_deleted)
    : table_(table), out_(out), with_deleted_(with_deleted) {
  buffer_.reserve(kFlushBytes + 4096);
}

void CsvWriter::Header() {
  if (with_deleted_) buffer_ += "_deleted,";
  for (int i = 1; i <= table_.field_count(); ++i) {
    if (i > 1) buffer_ += ',';
    buffer_ += CsvValue(table_.FieldName(i));
  }
  buffer_ += '\n';
}

void CsvWriter::Record() {
  if (with_deleted_) buffer_.append(table_.deleted() ? "*," : ",", table_.deleted() ? 2 : 1);
  for (int i = 1; i <= table_.field_count(); ++i) {
    if (i > 1) buffer_.push_back(',');
    Field(i);
  }
  buffer_.push_back('\n');
  if (buffer_.size() >= kFlushBytes) Flush();
}

// The display text of a field as ShownValue gives it: C trimmed of trailing blanks, N and F of
// blanks on both sides, D as yyyymmdd ("" when blank), L as T or F.
void CsvWriter::Field(int field) {
  const dbase::FieldDescriptor& d = table_.descriptors()[static_cast<size_t>(field - 1)];
  const std::string_view raw(reinterpret_cast<const char*>(table_.record() + d.offset),
                             static_cast<size_t>(d.length));
  switch (d.type) {
    case 'L':
      buffer_.push_back(std::string_view("TtYyJj").find(raw.empty() ? ' ' : raw[0]) != std::string_view::npos ? 'T'
                                                                                                           : 'F');
      return;
    case 'C':
    case 'N':
    case 'F': {
      const std::string_view text = TrimBlanks(raw, d.type != 'C');
      if ((d.type == 'C' || !text.empty()) && PlainBytes(text)) {
        buffer_.append(text.data(), text.size());
        return;
      }
      break;
    }
    case 'D': {
      const std::string_view text = TrimBlanks(raw, false);
      if (text.empty()) return;
      if (PlainDate(text)) {
        buffer_.append(text.data(), text.size());
        return;
      }
      break;
    }
    default:
      break;
  }
  buffer_ += CsvValue(Cp1252ToUtf8(ShownValue(table_, field)));
}

void CsvWriter::Flush() {
  if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) {
    throw dbase::EngineError::Make(dbase::kWriteError, "standard output");
  }
  buffer_.clear();
  if (std::fflush(out_) != 0) throw dbase::EngineError::Make(dbase::kWriteError, "standard output");
}

}  // namespace qdbf
