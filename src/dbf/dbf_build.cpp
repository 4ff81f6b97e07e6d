// The table builders: field descriptors by the type rules, the bytes of a new table file and the
// first bytes of a new memo file in each dialect.
#include "dbf/dbf_build.h"

#include <ctime>

#include "dbf/byte_order.h"
#include "dbf/dbf_layout.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "dbf/header_date.h"
#include "platform/ascii_case.h"

namespace dbase {

namespace {

using namespace dbf_layout;

constexpr int64_t kMax16 = 65535;
constexpr size_t kNameLength = 10;
constexpr size_t kMemoNameLength = 8;  // memo headers carry the first 8 characters

}  // namespace

DBFBuild::DBFBuild(const std::string& file_name) : DBFBuild(file_name, 0x83) {}

DBFBuild::DBFBuild(const std::string& file_name, uint8_t version_memo) : version_memo_(version_memo) {
  file_name_ = TrimName(file_name);
  if (ExtensionDot(file_name_) == std::string::npos) file_name_ += ".DBF";
  size_t start = NameStart(file_name_);
  base_name_ = file_name_.substr(start, ExtensionDot(file_name_) - start);
}

DBFBuild::~DBFBuild() { BuildIfPending(); }

void DBFBuild::BuildIfPending() noexcept {
  // A field list with a refused field must not become a table just because the builder goes.
  if (build_started_ || refused_field_) return;
  try {
    Build();
  } catch (...) {
    // A destructor must not throw; callers that need the error call Build themselves.
  }
}

void DBFBuild::AddField(const std::string& name, char type, int length, int decimals) {
  if (name.empty()) return;
  for (char c : name) {
    // Field names are ASCII in every dialect: other bytes name a field no expression can name.
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) {
      refused_field_ = true;
      throw EngineError::Make(kFieldListInvalid, file_name_);
    }
  }
  std::array<uint8_t, 32> d{};
  for (size_t i = 0; i < name.size() && i < kNameLength; ++i) d[i] = static_cast<uint8_t>(platform::UpperAscii(name[i]));
  type = platform::UpperAscii(type);
  d[kFieldType] = static_cast<uint8_t>(type);

  int64_t full_length = length;
  switch (type) {
    case 'D':
      full_length = 8;
      decimals = 0;
      break;
    case 'L':
      full_length = 1;
      decimals = 0;
      break;
    case 'M':
    case 'B':
    case 'G':
      full_length = 10;
      decimals = 0;
      has_memo_ = true;
      break;
    case 'C':
      // The decimals byte of a character field is the high byte of its length: given decimals
      // would make the table read a longer field than the record holds.
      decimals = length > 0 ? length / 256 : 0;
      break;
    default:
      break;
  }
  int64_t length_byte = type == 'C' && full_length > 255 ? full_length % 256 : full_length;
  if (full_length < 0 || length_byte > 255 || decimals < 0 || decimals > 255) {
    refused_field_ = true;
    throw EngineError::Make(kFieldListInvalid, file_name_);
  }
  d[kFieldLength] = static_cast<uint8_t>(length_byte);
  d[kFieldDecimals] = static_cast<uint8_t>(decimals);
  record_length_ += full_length;
  fields_.push_back(d);
}

void DBFBuild::CheckLengths() const {
  if (header_length() >= kMax16 || record_length_ > kMax16) throw EngineError::Make(kFieldListInvalid, file_name_);
}

void DBFBuild::Build() {
  if (!write_enabled_ || build_started_) return;
  build_started_ = true;
  // Checked before the file is created, so that an impossible field list never empties an
  // existing table of the same name.
  CheckLengths();
  file_ = std::make_unique<DiskFile>(file_name_, true, false);
  file_->Create();
  WriteHeader();
  if (has_memo_) CreateMemo();
}

void DBFBuild::WriteHeader() {
  if (!file_ || !file_->is_open()) throw EngineError::Make(kWriteError, file_name_);
  CheckLengths();
  const size_t header_len = static_cast<size_t>(header_length());
  std::vector<uint8_t> bytes(header_len + 1, 0);

  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  bytes[kVersion] = version();
  PutHeaderDate(&bytes[kUpdateDate], local);
  PutLE16(&bytes[kHeaderLength], static_cast<uint32_t>(header_len));
  PutLE16(&bytes[kRecordLength], static_cast<uint32_t>(record_length_));
  for (size_t i = 0; i < fields_.size(); ++i) {
    std::copy(fields_[i].begin(), fields_[i].end(), bytes.begin() + static_cast<std::ptrdiff_t>(32 * (i + 1)));
  }
  bytes[header_len - 1] = kHeaderTerminator;
  bytes[header_len] = kEndOfFile;
  file_->Write(0, bytes.data(), bytes.size());
}

std::string DBFBuild::MemoFileName(const std::string& extension) const {
  return CompanionFileName(file_name_, extension);
}

void DBFBuild::WriteMemoFile(const std::string& extension, const std::vector<uint8_t>& header) const {
  DiskFile memo(MemoFileName(extension), true, false);
  memo.Create();
  memo.Write(0, header.data(), header.size());
  memo.Close();
}

void DBFBuild::CreateMemo() {
  std::vector<uint8_t> header(513, 0);
  PutLE32(&header[0], 1);  // next free block
  for (size_t i = 0; i < base_name_.size() && i < kMemoNameLength; ++i) header[8 + i] = static_cast<uint8_t>(base_name_[i]);
  header[512] = kEndOfFile;
  WriteMemoFile(".dbt", header);
}

DB4Build::DB4Build(const std::string& file_name) : DBFBuild(file_name, 0x8B) {}

DB4Build::~DB4Build() { BuildIfPending(); }

void DB4Build::CreateMemo() {
  std::vector<uint8_t> header(24, 0);
  PutLE32(&header[0], 1);  // first free block
  for (size_t i = 0; i < base_name_.size() && i < kMemoNameLength; ++i) header[8 + i] = static_cast<uint8_t>(base_name_[i]);
  header[18] = 0x02;
  header[19] = 0x01;
  PutLE16(&header[20], 512);  // block length
  WriteMemoFile(".dbt", header);
}

DBFoxBuild::DBFoxBuild(const std::string& file_name) : DBFBuild(file_name, 0xF5) {}

DBFoxBuild::~DBFoxBuild() { BuildIfPending(); }

void DBFoxBuild::CreateMemo() {
  std::vector<uint8_t> header(512, 0);
  PutBE32(&header[0], 8);  // next free block, in 64-byte blocks: the header fills blocks 0-7
  PutBE16(&header[6], 64);  // block size
  WriteMemoFile(".fpt", header);
}

}  // namespace dbase
