// dBaseDBF: one open table file: header and descriptors validated on open, one record buffer,
// record positioning, append and replace with the header kept up to date, the lock protocol,
// the table cipher and the memo object.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbf/disk_file.h"
#include "dbf/lock_protocol.h"

namespace dbase {

class MemoFile;

// Version bytes a table may carry.
constexpr uint8_t kVersionDb3 = 0x03;
constexpr uint8_t kVersionNoMemo = 0x04;
constexpr uint8_t kVersionVfp = 0x30;
constexpr uint8_t kVersionDb3Memo = 0x83;
constexpr uint8_t kVersionDb4Memo = 0x8B;
constexpr uint8_t kVersionFoxMemo = 0xF5;

// GetRecord requests besides a record number.
constexpr int32_t kNext = -1;
constexpr int32_t kPrevious = -2;
constexpr int32_t kFirst = -3;
constexpr int32_t kLast = -4;
constexpr int32_t kReread = -5;

// Notify events.
enum NotifyEvent : int {
  kEventBlank = 0,
  kEventOpened = 2,
  kEventBeforeRead = 4,
  kEventBeforeWrite = 5,
  kEventAfterRead = 6,
  kEventAfterWrite = 7,
  kEventAfterFlush = 8,
};

// Table states.
constexpr int kStateNormal = 1;
constexpr int kStateReindex = 4;
constexpr int kStatePassword = 5;

// One field descriptor as read from the file, with the offset and number the engine computes.
struct FieldDescriptor {
  std::array<uint8_t, 32> raw{};  // the 32 bytes; bytes 12-15 and 26-27 hold offset and number
  std::string name;               // up to the first zero byte
  char type = 'C';
  int length = 0;                 // full length (C: decimals byte * 256 + length byte)
  int decimals = 0;               // 0 for C fields longer than 255
  int offset = 0;                 // within the record, first field at 1
  int number = 0;                 // from 1
};

class dBaseDBF : public DiskFile {
 public:
  // Opens the table (".DBF" added when the name has no extension) and loads header and
  // descriptors. Reads no record: the current record number is 0 until the first GetRecord.
  dBaseDBF(const std::string& file_name, const std::string& password, bool read_write, bool shared);
  ~dBaseDBF() override;

  // Table-level overrides of the file operations. Close writes the appended records still
  // buffered and a dirty header first; a failure there is raised and leaves the file open.
  bool Close() override;
  void Flush() override;
  bool Rename(const std::string& new_name) override;
  bool Unlock() override;

  virtual void Append();
  virtual bool Notify(int event, int32_t record);
  virtual void GetRecord(int32_t request);
  virtual bool LockAppend();
  virtual bool LockTable();
  virtual bool LockAll();
  virtual bool LockRecord();
  virtual void PutRecord(int32_t record);
  virtual void SetLockProtocol(int protocol);
  virtual bool HasIndexes();

  // Shared mode: re-reads the header and recomputes the record count from the file size.
  void ReReadHeader();
  // Writes the header when it is dirty, the table writable and not locked as a whole.
  void WriteHeader();
  // The header update after a record write: at once in shared mode, deferred otherwise.
  void WriteHeaderAfterRecord();
  // An exclusive table gathers appended records and writes them in blocks of about 64 KB: at a
  // full block, and before its header, a flush, a rename or a close. Reads and replacements of
  // a gathered record use the block. A failed write raises "Error writing to %s" and keeps the
  // records for the next attempt; the header never counts records the file does not hold.
  void WriteAppendedRecords();
  int32_t appended_records_held() const { return held_count_; }
  // Reads records `first` to `first + count - 1` into `out` (record_length() bytes each,
  // deciphered) with one read of the file where it holds them; the current record, its buffer
  // and the read-ahead buffer of a subclass are untouched. A short read raises as a record read.
  void ReadRecordRun(int32_t first, int32_t count, uint8_t* out);

  // The record buffer: record_length() + 1 bytes, deletion flag first, 0x1A last.
  uint8_t* record() { return record_; }
  const uint8_t* record() const { return record_; }
  const std::vector<uint8_t>& saved_record() const { return saved_record_; }
  // Redirects the current record to a caller's buffer of record_length() + 1 bytes (nullptr: back
  // to the table's own buffer).
  void SetRecordPointer(uint8_t* buffer) { record_ = buffer ? buffer : own_record_.data(); }

  const std::string& alias() const { return alias_; }
  uint8_t version() const { return version_; }
  bool has_memo() const { return has_memo_; }
  int32_t record_count() const { return record_count_; }
  int header_length() const { return header_length_; }
  int record_length() const { return record_length_; }
  int field_count() const { return static_cast<int>(fields_.size()); }
  int32_t record_number() const { return record_number_; }
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  bool deleted() const { return record_[0] == '*'; }
  bool encrypted() const { return encrypted_; }
  bool table_locked() const { return table_locked_; }
  bool header_dirty() const { return header_dirty_; }
  bool record_modified() const { return record_modified_; }
  int state() const { return state_; }
  void set_state(int state) { state_ = state; }
  bool use_deleted() const { return use_deleted_; }
  void set_use_deleted(bool on) { use_deleted_ = on; }
  bool exact_search() const { return exact_search_; }
  void set_exact_search(bool on) { exact_search_ = on; }
  bool auto_flush() const { return auto_flush_; }
  void set_auto_flush(bool on) { auto_flush_ = on; }
  int32_t user_id() const { return user_id_; }
  void set_user_id(int32_t id) { user_id_ = id; }
  int lock_protocol() const { return lock_protocol_; }
  const LockConstants& lock_constants() const { return lock_constants_; }
  bool production_index() const { return production_index_; }
  const std::array<uint8_t, 32>& header() const { return header_; }
  const std::vector<FieldDescriptor>& descriptors() const { return fields_; }
  const std::string& password() const { return password_; }
  const std::string& new_password() const { return new_password_; }
  uint8_t change_flag(int n) const { return change_flags_[static_cast<size_t>(n)]; }

  // The memo object, created on first use (nullptr for a table without memo fields).
  MemoFile* memo();
  // Releases the memo object (Zap and copies reopen it on next use).
  void CloseMemo();
  // The memo object when it is open, without opening it.
  MemoFile* open_memo() const { return memo_.get(); }

 protected:
  void SetFieldsChanged(int field_number);  // 0 = deletion flag
  void ClearChangeFlags();
  void SetAllChangeFlags();
  void SetRecordModified() { record_modified_ = true; }
  void ClearRecordModified() { record_modified_ = false; }
  void SetEof(bool on) { eof_ = on; }
  void SetBof(bool on) { bof_ = on; }
  void SetRecordNumber(int32_t n) { record_number_ = n; }
  // Also drops gathered appends beyond the new count.
  void SetRecordCount(int32_t n);
  void MarkHeaderDirty() { header_dirty_ = true; }
  // Header byte 28, bit 0: the table has a production index (written with the next header).
  void SetProductionIndexFlag() {
    header_flags_ |= 1;
    production_index_ = true;
    header_dirty_ = true;
  }
  void SetPasswords(const std::string& current, const std::string& next, bool encrypted);
  std::vector<FieldDescriptor>& mutable_descriptors() { return fields_; }
  // Reads record `n` into the record buffer (deciphered), raising on a short read.
  void ReadRecordBytes(int32_t n);
  // Writes the record buffer at record `n`; `with_eof` adds the 0x1A marker after it.
  void WriteRecordBytes(int32_t n, bool with_eof);
  // `image` as a header write leaves it: today's date, the count, the cipher flag, the stamp,
  // the user and the flag bits of byte 28.
  void StampHeader(std::array<uint8_t, 32>& image, int32_t count, bool encrypted) const;
  // Goes on with the table file `replacement` wrote and holds, which has replaced this table's
  // file on disk (TableReplacement): reloads the header and the record count; the memo file is
  // opened again on next use. The layout must be the same.
  void AdoptReplacement(DiskFile& replacement);
  uint64_t RecordOffset(int32_t n) const {
    return static_cast<uint64_t>(header_length_) + static_cast<uint64_t>(n - 1) * static_cast<uint64_t>(record_length_);
  }

 private:
  // How a handle holds the append byte for one append or header write: through its nestable range,
  // beside a range of its own (a record being edited), or not at all (exclusive open, or a range
  // of its own already covers the byte).
  enum class AppendHold { kNone, kNested, kBeside };
  // The append lock; in shared mode waits for another process's append instead of racing it.
  AppendHold AcquireAppendLock();
  bool TryAppendLock(AppendHold* hold);
  void ReleaseAppendLock(AppendHold hold);
  void ReleaseAppendLockAfterFailure(AppendHold hold) noexcept;
  void LoadHeader();
  void LoadDescriptors();
  // Whether the table keeps memos in a memo file: it has memo fields and its version announces a
  // memo file, or (version 0x30) its flag does or the .fpt is there.
  bool UsesMemoFile() const;
  void ComputeRecordCount();
  void ReleaseOnFailure();
  // The gathered record `n` in the block, or nullptr when it is not there.
  uint8_t* HeldRecord(int32_t n);
  // Gathers the record buffer (enciphered when the table is) as record `n`, writing a full
  // block out first.
  void HoldAppend(int32_t n);
  // Cuts off the record an append wrote when its header write failed (shared tables), leaving
  // `count` records and `current` as the current record.
  void TakeBackAppend(int32_t count, int32_t current) noexcept;

  std::array<uint8_t, 32> header_{};
  std::string alias_;
  int32_t record_count_ = 0;
  int header_length_ = 0;
  int record_length_ = 0;
  std::vector<FieldDescriptor> fields_;
  int32_t record_number_ = 0;
  std::vector<uint8_t> own_record_;
  uint8_t* record_ = nullptr;
  std::vector<uint8_t> saved_record_;
  std::vector<uint8_t> cipher_buffer_;
  // Appended records not yet written (exclusive tables): held_count_ records from held_first_,
  // as they go to the file, with room for the end marker after the last.
  std::vector<uint8_t> held_;
  int32_t held_first_ = 0;
  int32_t held_count_ = 0;
  std::vector<uint8_t> change_flags_;
  bool any_change_flag_ = true;  // some entry of change_flags_ may be set
  bool eof_ = false;
  bool bof_ = false;
  uint8_t version_ = 0;
  bool has_memo_ = false;
  bool table_locked_ = false;
  uint8_t header_flags_ = 0;  // bits 0-2 of header byte 28 as read at open
  bool production_index_ = false;
  uint32_t change_stamp_ = 0;
  bool header_dirty_ = false;
  int state_ = kStateNormal;
  bool record_modified_ = false;
  bool use_deleted_ = true;
  bool exact_search_ = false;
  bool auto_flush_ = false;
  bool encrypted_ = false;
  std::string password_;
  std::string new_password_;
  std::unique_ptr<MemoFile> memo_;
  int lock_protocol_ = Default;
  LockConstants lock_constants_;
  int32_t user_id_ = 0;
};

// Today's date and the change stamp ((h*64+m)*64+s)*1024+ms of the local time.
void CurrentHeaderStamp(uint8_t* ymd3, uint32_t* stamp);

}  // namespace dbase
