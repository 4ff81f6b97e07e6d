// dBaseDBF: open and validation of the header and descriptors, record positioning, append and
// replace, the header update, the table locks and the cipher of records and descriptors.
#include "dbf/dbase_dbf.h"

#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstring>
#include <ctime>
#include <limits>

#include "dbf/byte_order.h"
#include "dbf/dbf_layout.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "dbf/header_date.h"
#include "dbf/memo_file.h"
#include "dbf/table_cipher.h"
#include "dbf/table_replacement.h"
#include "platform/ascii_case.h"
#include "platform/os_file.h"

namespace dbase {

namespace {

using namespace dbf_layout;

constexpr uint8_t kEofMarker = kEndOfFile;
constexpr size_t kAppendBlockBytes = 65536;
constexpr int kVfpExtraArea = static_cast<int>(kVfpBacklinkBytes);
constexpr size_t kMaxFields = 4096;

bool IsKnownVersion(uint8_t v) {
  return v == kVersionDb3 || v == kVersionNoMemo || v == kVersionVfp || v == kVersionDb3Memo ||
         v == kVersionDb4Memo || v == kVersionFoxMemo;
}

}  // namespace

void CurrentHeaderStamp(uint8_t* ymd3, uint32_t* stamp) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  time_t secs = tv.tv_sec;
  struct tm local;
  localtime_r(&secs, &local);
  PutHeaderDate(ymd3, local);
  uint32_t ms = static_cast<uint32_t>(tv.tv_usec / 1000);
  *stamp = ((static_cast<uint32_t>(local.tm_hour) * 64 + static_cast<uint32_t>(local.tm_min)) * 64 +
            static_cast<uint32_t>(local.tm_sec)) * 1024 + ms;
}

dBaseDBF::dBaseDBF(const std::string& file_name, const std::string& password, bool read_write, bool shared)
    : DiskFile(WithDefaultExtension(file_name, ".DBF"), read_write, shared), password_(password), new_password_(password) {
  alias_ = platform::UpperAscii(BaseName(file_name_));
  SetLockProtocol(Default);
  try {
    // A replacement of this table cut short after its commit point is finished first.
    TableReplacement::FinishInterrupted(file_name_);
    Open();
    LoadHeader();
    LoadDescriptors();
    has_memo_ = UsesMemoFile();
    own_record_.assign(static_cast<size_t>(record_length_) + 1, ' ');
    own_record_.back() = kEofMarker;
    record_ = own_record_.data();
    saved_record_ = own_record_;
    cipher_buffer_ = own_record_;
    change_flags_.assign(fields_.size() + 1, 0);
    ReReadHeader();
    Notify(kEventOpened, 0);
    production_index_ = (header_flags_ & 1) != 0;
  } catch (...) {
    ReleaseOnFailure();
    throw;
  }
}

void dBaseDBF::ReleaseOnFailure() {
  memo_.reset();
  DiskFile::Close();
}

dBaseDBF::~dBaseDBF() {
  try {
    if (header_dirty_ && is_open()) {
      table_locked_ = false;
      ReReadHeader();
      WriteHeader();
    }
  } catch (...) {
    // Destruction goes on; the handle is closed below.
  }
  memo_.reset();
  try {
    DiskFile::Close();
  } catch (...) {
  }
}

void dBaseDBF::LoadHeader() {
  if (Read(0, header_.data(), header_.size()) < static_cast<int64_t>(header_.size())) {
    throw EngineError::Make(kReadError, file_name_);
  }
  version_ = header_[kVersion];
  if (!IsKnownVersion(version_)) throw EngineError::Make(kHeaderInvalid, file_name_);
  header_length_ = GetLE16(&header_[kHeaderLength]);
  record_length_ = GetLE16(&header_[kRecordLength]);
  header_flags_ = header_[kTableFlags] & 0x07;
  change_stamp_ = GetLE32(&header_[kChangeStamp]);
  encrypted_ = header_[kEncrypted] != 0;
  int min_header = version_ == kVersionVfp ? 32 + 1 + kVfpExtraArea : 33;
  // A record length of 0 or a header shorter than its fixed parts cannot describe a table (and
  // would divide by zero when records are counted).
  if (record_length_ < 1 || header_length_ < min_header) throw EngineError::Make(kHeaderInvalid, file_name_);

  if (encrypted_ && password_.empty()) throw EncryptionError::Make(kNoPassword, file_name_);
  if (!encrypted_ && !password_.empty()) throw EncryptionError::Make(kPasswordForPlain, file_name_);
  if (!encrypted_) {
    password_.clear();
    new_password_.clear();
  }
  ComputeRecordCount();
}

bool dBaseDBF::UsesMemoFile() const {
  // A table without memo fields needs no memo file, whatever its version byte announces (some
  // writers mark every table of a dialect as one with memos).
  const std::string_view memo_types = version_ == kVersionVfp ? "MG" : "MBG";
  const bool memo_field = std::any_of(fields_.begin(), fields_.end(), [&](const FieldDescriptor& f) {
    return memo_types.find(f.type) != std::string_view::npos;
  });
  if (!memo_field) return false;
  if (version_ == kVersionDb3Memo || version_ == kVersionDb4Memo || version_ == kVersionFoxMemo) return true;
  if (version_ != kVersionVfp) return false;
  // Some writers leave the memo flag of these tables clear although they keep an .fpt beside
  // them: the file itself says there are memos to read.
  return (header_flags_ & 2) != 0 || platform::FileExistsAnyCase(CompanionFileName(file_name_, ".fpt"));
}

void dBaseDBF::LoadDescriptors() {
  size_t area = static_cast<size_t>(header_length_ - (version_ == kVersionVfp ? 32 + 1 + kVfpExtraArea : 33));
  std::vector<uint8_t> bytes(area);
  if (area > 0 && Read(32, bytes.data(), area) < static_cast<int64_t>(area)) {
    throw EngineError::Make(kReadError, file_name_);
  }
  if (encrypted_) CipherInPlace(password_, bytes.data(), bytes.size());

  size_t count = area / 32;
  // The descriptors end at the 0x0D terminator: some writers keep an extra area after it that
  // the header length counts, and it must not turn into fields.
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i * 32] == kHeaderTerminator) {
      count = i;
      break;
    }
  }
  if (count > kMaxFields) throw EngineError::Make(kHeaderInvalid, file_name_);

  fields_.resize(count);
  long long full_sum = 1, low_sum = 1;
  for (size_t i = 0; i < count; ++i) {
    FieldDescriptor& f = fields_[i];
    std::memcpy(f.raw.data(), &bytes[i * 32], 32);
    size_t n = 0;
    while (n < 11 && f.raw[n] != 0) ++n;
    f.name.assign(reinterpret_cast<const char*>(f.raw.data()), n);
    f.type = static_cast<char>(f.raw[kFieldType]);
    f.length = f.raw[kFieldLength];
    f.decimals = f.raw[kFieldDecimals];
    low_sum += f.length;
    if (f.type == 'C') {
      f.length += f.decimals * 256;
      f.decimals = 0;
    }
    full_sum += f.length;
  }
  // C fields take the decimals byte as the high byte of their length. Tables of other writers
  // may carry a stray value there: when only the low bytes add up to the record length, the
  // high bytes are ignored.
  if (full_sum != record_length_ && low_sum == record_length_) {
    for (FieldDescriptor& f : fields_) {
      if (f.type == 'C') f.length = f.raw[kFieldLength];
    }
    full_sum = low_sum;
  }
  if (encrypted_ && full_sum != record_length_) throw EncryptionError::Make(kInvalidPassword, file_name_);
  // A record length other than the fields' cannot be read consistently: fields past the record
  // would read and write outside the record buffer, and a record longer than its fields makes
  // the records stored in the file unreadable and lets appends write over them.
  if (full_sum != record_length_) throw EngineError::Make(kHeaderInvalid, file_name_);

  int offset = 1;
  for (size_t i = 0; i < count; ++i) {
    FieldDescriptor& f = fields_[i];
    f.offset = offset;
    f.number = static_cast<int>(i + 1);
    PutLE32(&f.raw[kFieldOffset], static_cast<uint32_t>(offset));
    f.raw[kFieldNumber] = static_cast<uint8_t>(f.number);
    f.raw[kFieldNumber + 1] = static_cast<uint8_t>(f.number >> 8);
    offset += f.length;
  }
}

void dBaseDBF::ComputeRecordCount() {
  int64_t size = FileSize();
  int64_t count = size > header_length_ ? (size - header_length_) / record_length_ : 0;
  if (record_length_ == 1 && count > 0) {
    // A table without fields has one-byte records, and its end-of-file mark would pass for one.
    uint8_t last = 0;
    if (DiskFile::Read(static_cast<uint64_t>(size - 1), &last, 1) == 1 && last == kEofMarker) --count;
  }
  record_count_ = static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
}

void dBaseDBF::ReReadHeader() {
  if (!shared_) return;
  std::array<uint8_t, 32> fresh;
  if (Read(0, fresh.data(), fresh.size()) < static_cast<int64_t>(fresh.size())) {
    throw EngineError::Make(kReadError, file_name_);
  }
  // Another writer may have changed dates, counts and stamps, never the layout.
  if (GetLE16(&fresh[kHeaderLength]) == header_length_ && GetLE16(&fresh[kRecordLength]) == record_length_) header_ = fresh;
  change_stamp_ = GetLE32(&header_[kChangeStamp]);
  ComputeRecordCount();
}

void dBaseDBF::WriteHeader() {
  if (!read_write_ || !header_dirty_ || table_locked_) return;
  // The count written must never lead the records in the file.
  WriteAppendedRecords();
  StampHeader(header_, record_count_, encrypted_);
  change_stamp_ = GetLE32(&header_[kChangeStamp]);
  Write(0, header_.data(), header_.size());
  header_dirty_ = false;
}

void dBaseDBF::StampHeader(std::array<uint8_t, 32>& image, int32_t count, bool encrypted) const {
  uint32_t stamp = 0;
  CurrentHeaderStamp(&image[kUpdateDate], &stamp);
  PutLE32(&image[kRecordCount], static_cast<uint32_t>(count));
  image[kEncrypted] = encrypted ? 1 : 0;
  PutLE32(&image[kChangeStamp], stamp);
  PutLE32(&image[kLastWriter], static_cast<uint32_t>(user_id_));
  image[kTableFlags] = header_flags_;
}

void dBaseDBF::AdoptReplacement(DiskFile& replacement) {
  memo_.reset();
  // Appends still held for the old file are in the replacement already, or were emptied away.
  held_count_ = 0;
  held_first_ = 0;
  AdoptOpenFile(replacement);
  if (DiskFile::Read(0, header_.data(), header_.size()) < static_cast<int64_t>(header_.size())) {
    throw EngineError::Make(kReadError, file_name_);
  }
  change_stamp_ = GetLE32(&header_[kChangeStamp]);
  header_dirty_ = false;
  ComputeRecordCount();
}

void dBaseDBF::SetPasswords(const std::string& current, const std::string& next, bool encrypted) {
  password_ = current;
  new_password_ = next;
  encrypted_ = encrypted;
}

bool dBaseDBF::Notify(int, int32_t) { return true; }

void dBaseDBF::ReadRecordBytes(int32_t n) {
  size_t len = static_cast<size_t>(record_length_);
  if (const uint8_t* held = HeldRecord(n)) {
    std::memcpy(record_, held, len);
  } else if (Read(RecordOffset(n), record_, len) < static_cast<int64_t>(len)) {
    throw EngineError::Make(kReadError, file_name_);
  }
  if (encrypted_) CipherInPlace(password_, record_, len);
}

void dBaseDBF::WriteRecordBytes(int32_t n, bool with_eof) {
  size_t len = static_cast<size_t>(record_length_) + (with_eof ? 1 : 0);
  if (uint8_t* held = HeldRecord(n)) {
    if (encrypted_) {
      CipherBytes(new_password_, record_, held, record_length_);
    } else {
      std::memcpy(held, record_, static_cast<size_t>(record_length_));
    }
    return;
  }
  const uint8_t* out = record_;
  if (encrypted_) {
    CipherBytes(new_password_, record_, cipher_buffer_.data(), record_length_);
    cipher_buffer_[static_cast<size_t>(record_length_)] = kEofMarker;
    out = cipher_buffer_.data();
  } else if (with_eof) {
    record_[record_length_] = kEofMarker;
  }
  Write(RecordOffset(n), out, len);
}

void dBaseDBF::GetRecord(int32_t request) {
  if (record_count_ == 0) {
    ReReadHeader();
    if (record_count_ == 0) {
      eof_ = bof_ = true;
      return;
    }
  }
  if (request == 0) return;
  eof_ = bof_ = false;
  int64_t target;
  switch (request) {
    case kReread:
      target = record_number_;
      break;
    case kLast:
      target = record_count_;
      break;
    case kFirst:
      target = 1;
      break;
    case kPrevious:
      if (record_number_ <= 1) {
        bof_ = true;
        return;
      }
      target = static_cast<int64_t>(record_number_) - 1;
      break;
    case kNext:
      target = static_cast<int64_t>(record_number_) + 1;
      break;
    default:
      if (request < 0) throw EngineError::Make(kRecordNotInTable, request, file_name_);
      target = request;
  }
  if (target < 1) {
    // Re-reading with no current record: nothing to read.
    bof_ = true;
    return;
  }
  if (target > record_count_) {
    ReReadHeader();
    if (target > static_cast<int64_t>(record_count_) + 1) throw EngineError::Make(kRecordNotInTable, target, file_name_);
    if (target > record_count_) {
      eof_ = true;
      return;
    }
  }
  Notify(kEventBeforeRead, request);
  ReadRecordBytes(static_cast<int32_t>(target));
  record_number_ = static_cast<int32_t>(target);
  Notify(kEventAfterRead, record_number_);
  std::memcpy(saved_record_.data(), record_, saved_record_.size());
  ClearChangeFlags();
}

bool dBaseDBF::TryAppendLock(AppendHold* hold) {
  *hold = AppendHold::kNested;
  if (LockAppend()) return true;
  if (!shared_ || lock_count_ <= 0) return false;
  // The handle holds a range of its own (a record being edited): one that covers the append byte
  // already keeps other writers out; otherwise the byte is locked beside it. Going on without it
  // would let another process append at the same position or undo its count in the header.
  const uint64_t byte = lock_constants_.append_offset;
  *hold = AppendHold::kNone;
  if (byte >= lock_offset_ && byte - lock_offset_ < lock_length_) return true;
  *hold = AppendHold::kBeside;
  return LockBeside(byte, 1);
}

dBaseDBF::AppendHold dBaseDBF::AcquireAppendLock() {
  AppendHold hold;
  if (TryAppendLock(&hold)) return hold;
  // Another process is appending: wait for it, briefly at first, since appends hold the lock for
  // microseconds.
  auto start = std::chrono::steady_clock::now();
  auto pause = std::chrono::microseconds(100);
  const auto limit = std::chrono::milliseconds(GlobalLockRetry().total_wait_ms);
  while (std::chrono::steady_clock::now() - start < limit) {
    std::this_thread::sleep_for(pause);
    if (TryAppendLock(&hold)) return hold;
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(GlobalLockRetry().interval_ms));
  }
  throw EngineError::Make(kCannotLock, file_name_);
}

void dBaseDBF::ReleaseAppendLock(AppendHold hold) {
  if (hold == AppendHold::kNested) {
    Unlock();
  } else if (hold == AppendHold::kBeside) {
    UnlockBeside(lock_constants_.append_offset, 1);
  }
}

void dBaseDBF::ReleaseAppendLockAfterFailure(AppendHold hold) noexcept {
  try {
    ReleaseAppendLock(hold);
  } catch (...) {
    // The write's failure is the one to report.
  }
}

void dBaseDBF::Append() {
  const AppendHold hold = AcquireAppendLock();
  try {
    Notify(kEventBeforeWrite, 0);
    record_modified_ = true;
    header_dirty_ = true;
    ReReadHeader();
    if (record_count_ == std::numeric_limits<int32_t>::max()) throw EngineError::Make(kWriteError, file_name_);
    // The deletion flag is written as the buffer holds it: a copied record keeps its mark.
    if (!shared_) {
      HoldAppend(record_count_ + 1);
    } else {
      WriteRecordBytes(record_count_ + 1, true);
    }
    ++record_count_;
    record_number_ = record_count_;
    WriteHeaderAfterRecord();
  } catch (...) {
    ReleaseAppendLockAfterFailure(hold);
    throw;
  }
  ReleaseAppendLock(hold);
  eof_ = bof_ = false;
  Notify(kEventAfterWrite, 0);
  if (auto_flush_) Flush();
  std::memcpy(saved_record_.data(), record_, saved_record_.size());
}

void dBaseDBF::PutRecord(int32_t n) {
  Notify(kEventBeforeWrite, n);
  if (n < 1 || n > record_count_) {
    Append();
    return;
  }
  // Shared: the header's count is taken from the file and written under the append byte, or an
  // append by another process in between would be undone in the header.
  const AppendHold hold = shared_ ? AcquireAppendLock() : AppendHold::kNone;
  try {
    header_dirty_ = true;
    WriteRecordBytes(n, false);
    record_number_ = n;
    ReReadHeader();
    WriteHeaderAfterRecord();
  } catch (...) {
    ReleaseAppendLockAfterFailure(hold);
    throw;
  }
  ReleaseAppendLock(hold);
  Notify(kEventAfterWrite, n);
  if (auto_flush_) Flush();
  std::memcpy(saved_record_.data(), record_, saved_record_.size());
}

void dBaseDBF::WriteHeaderAfterRecord() {
  // Only other processes read the header's count, date and stamp between writes, and an
  // exclusive open has none: its header is written once, at flush, unlock or close, instead of
  // after every record.
  if (shared_) WriteHeader();
}

uint8_t* dBaseDBF::HeldRecord(int32_t n) {
  if (held_count_ == 0 || n < held_first_ || n - held_first_ >= held_count_) return nullptr;
  return held_.data() + static_cast<size_t>(n - held_first_) * static_cast<size_t>(record_length_);
}

void dBaseDBF::HoldAppend(int32_t n) {
  const size_t length = static_cast<size_t>(record_length_);
  const size_t capacity = std::max<size_t>(1, kAppendBlockBytes / length);
  if (held_.empty()) held_.resize(capacity * length + 1);
  if (held_count_ > 0 && (static_cast<size_t>(held_count_) == capacity || n != held_first_ + held_count_)) {
    WriteAppendedRecords();
  }
  if (held_count_ == 0) held_first_ = n;
  ++held_count_;
  WriteRecordBytes(n, false);  // into the block
}

void dBaseDBF::WriteAppendedRecords() {
  if (held_count_ == 0) return;
  const size_t bytes = static_cast<size_t>(held_count_) * static_cast<size_t>(record_length_);
  held_[bytes] = kEofMarker;
  Write(RecordOffset(held_first_), held_.data(), bytes + 1);
  held_count_ = 0;
  held_first_ = 0;
}

void dBaseDBF::SetRecordCount(int32_t n) {
  record_count_ = n;
  if (held_count_ > 0 && n < held_first_ + held_count_) held_count_ = std::max(0, n - held_first_ + 1);
}

bool dBaseDBF::Close() {
  if (!is_open()) return true;
  WriteAppendedRecords();
  if (header_dirty_) {
    ReReadHeader();
    WriteHeader();
  }
  return DiskFile::Close();
}

void dBaseDBF::Flush() {
  WriteAppendedRecords();  // also while the table is locked, when the header waits
  WriteHeader();
  DiskFile::Flush();
  if (has_memo_ && memo()) memo()->Flush();
  Notify(kEventAfterFlush, record_number_);
}

bool dBaseDBF::Rename(const std::string& new_name) {
  WriteAppendedRecords();
  MemoFile* m = has_memo_ ? memo() : nullptr;
  bool ok = DiskFile::Rename(new_name);
  alias_ = platform::UpperAscii(BaseName(file_name_));
  if (ok && m) ok = m->RenameWithTable(file_name_);
  return ok;
}

bool dBaseDBF::LockAppend() {
  if (table_locked_) {
    ++lock_count_;
    return true;
  }
  return Lock(lock_constants_.append_offset, 1);
}

bool dBaseDBF::LockTable() {
  if (table_locked_) {
    ++lock_count_;
    return true;
  }
  if (!Lock(lock_constants_.table_offset, lock_constants_.table_length)) return false;
  table_locked_ = true;
  ReReadHeader();
  return true;
}

bool dBaseDBF::LockAll() {
  if (table_locked_) {
    ++lock_count_;
    return true;
  }
  if (!Lock(0, kWholeFileLockLength)) return false;
  table_locked_ = true;
  ReReadHeader();
  return true;
}

bool dBaseDBF::LockRecord() {
  if (table_locked_) {
    ++lock_count_;
    return true;
  }
  const uint64_t r = static_cast<uint64_t>(static_cast<uint32_t>(record_number_));
  const bool indexed = (lock_protocol_ == Default || lock_protocol_ == FoxLock) && HasIndexes();
  uint64_t offset = 0;
  if (!RecordLockOffset(lock_protocol_, r, indexed, static_cast<uint64_t>(header_length_),
                        static_cast<uint64_t>(record_length_), &offset)) {
    return false;
  }
  return Lock(offset, 1);
}

bool dBaseDBF::Unlock() {
  if (table_locked_ && lock_count_ <= 1) {
    // The held-back header goes out while the table lock still keeps other writers away: written
    // after the release, it could undo the count of an append made in between.
    table_locked_ = false;
    try {
      WriteHeader();
    } catch (...) {
      DiskFile::Unlock();
      throw;
    }
  }
  return DiskFile::Unlock();
}

void dBaseDBF::SetLockProtocol(int protocol) {
  LockConstants c;
  if (LockConstantsFor(protocol, &c)) lock_constants_ = c;
  lock_protocol_ = protocol;
  if (memo_) memo_->SetLockProtocol(protocol);
}

bool dBaseDBF::HasIndexes() { return false; }

MemoFile* dBaseDBF::memo() {
  if (!has_memo_) return nullptr;
  if (!memo_) {
    memo_ = OpenMemoFile(version_, file_name_, read_write_, shared_, password_);
    memo_->SetLockProtocol(lock_protocol_);
    memo_->SetCipher(true, password_, new_password_);
  }
  return memo_.get();
}

void dBaseDBF::CloseMemo() { memo_.reset(); }

void dBaseDBF::SetFieldsChanged(int field_number) {
  if (field_number >= 0 && static_cast<size_t>(field_number) < change_flags_.size()) {
    change_flags_[static_cast<size_t>(field_number)] = 1;
    any_change_flag_ = true;
  }
  record_modified_ = true;
}

void dBaseDBF::ClearChangeFlags() {
  // Every record read clears the flags: skip the work while none is set.
  if (!any_change_flag_) return;
  std::fill(change_flags_.begin(), change_flags_.end(), 0);
  any_change_flag_ = false;
}

void dBaseDBF::SetAllChangeFlags() {
  std::fill(change_flags_.begin(), change_flags_.end(), 1);
  any_change_flag_ = true;
  record_modified_ = true;
}

}  // namespace dbase
