// Whole-table operations of dBHandler: copy of the structure, copy of the records with their
// memos, emptying, and enciphering or deciphering every record, memo and descriptor.
#include <cstring>
#include <memory>

#include "dbf/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "dbf/memo_file.h"
#include "dbf/table_cipher.h"
#include "expr/sort/huge_set.h"

namespace dbase {

namespace {

bool IsMemoLetter(char t) { return t == 'M' || t == 'B' || t == 'G'; }

// Releases a lock taken on a table when the scope ends, also after a failure.
class UnlockGuard {
 public:
  explicit UnlockGuard(dBaseDBF* table) : table_(table) {}
  ~UnlockGuard() {
    try {
      if (table_) table_->Unlock();
    } catch (...) {
    }
  }
  UnlockGuard(const UnlockGuard&) = delete;
  UnlockGuard& operator=(const UnlockGuard&) = delete;

 private:
  dBaseDBF* table_;
};

}  // namespace

void dBHandler::CheckFullAccess(const char* operation) {
  if (shared()) throw EngineError::Make(kFullAccess, operation, file_name());
}

void dBHandler::CopyStructure(const std::string& target) {
  std::unique_ptr<DBFBuild> builder;
  if (version() == kVersionDb4Memo) {
    builder = std::make_unique<DB4Build>(target);
  } else if (version() == kVersionFoxMemo) {
    builder = std::make_unique<DBFoxBuild>(target);
  } else {
    builder = std::make_unique<DBFBuild>(target);
  }
  for (const FieldDescriptor& d : descriptors()) builder->AddField(d.name, d.type, d.length, d.decimals);
  builder->Build();
}

void dBHandler::CopyMemos(dBHandler& target) {
  for (const FieldDescriptor& d : descriptors()) {
    if (!IsMemoLetter(d.type)) continue;
    long double block = NumberGet(d.number);
    if (static_cast<int64_t>(block) == 0) continue;
    std::string text = MemoRead(d.number);
    target.MemoWrite(d.number, text);
  }
}

void dBHandler::CopyFile(const std::string& target_name, const std::string& password) {
  if (!RetriedLock([this] { return LockFile(); })) {
    throw EngineError::Make(kFullAccess, "CopyFile", file_name());
  }
  UnlockGuard unlock_source(this);
  ReReadHeader();
  StatusUpdate(-1, 6, record_count());
  int32_t remembered = record_number();

  CopyStructure(target_name);
  {
    dBHandler target(target_name, "", true, false);
    target.SetPassword(password);
    target.LockFile();
    UnlockGuard unlock_target(&target);
    if (has_memo()) {
      memo();
      target.memo();
    }
    size_t bytes = static_cast<size_t>(record_length()) + 1;
    for (GetRecord(kFirst); !eof(); GetRecord(kNext)) {
      StatusUpdate(6, record_number(), 0);
      std::memcpy(target.record(), record(), bytes);
      if (has_memo()) CopyMemos(target);
      target.Append();
    }
  }
  StatusUpdate(0, 0, 0);
  if (remembered > 0 && remembered <= record_count()) {
    GetRecord(remembered);
  } else {
    GetRecord(kFirst);
  }
}

void dBHandler::Zap() {
  CheckFullAccess("Zap");
  if (has_memo() && memo() != nullptr) {
    MemoFile* m = memo();
    std::vector<uint8_t> head(512, 0);
    m->Read(0, head.data(), head.size());
    std::memset(head.data(), 0, 4);
    if (version() == kVersionFoxMemo || version() == kVersionVfp) {
      head[3] = 8;  // next free block 8 (big-endian), in 64-byte blocks
    } else {
      head[0] = 1;  // next free block 1 (little-endian)
    }
    m->Write(0, head.data(), head.size());
    m->Truncate(512);
    CloseMemo();
  }
  SetRecordCount(0);
  SetRecordNumber(0);
  MarkHeaderDirty();
  if (filter_set_) filter_set_->Clear();
  InvalidateReadAhead();
  const uint8_t eof_marker = 0x1A;
  Write(static_cast<uint64_t>(header_length()), &eof_marker, 1);
  Truncate(static_cast<uint64_t>(header_length()) + 1);
  WriteHeader();
  GetRecord(kFirst);
  Reindex();
}

void dBHandler::SetPassword(const std::string& new_password) {
  CheckFullAccess("SetPassword");
  if (encrypted() && new_password == password()) return;
  if (!encrypted() && new_password.empty()) return;

  const int saved_state = state();
  const std::string current = encrypted() ? password() : std::string();
  const int32_t remembered = record_number();
  const bool saved_read_ahead = read_ahead_;
  IndexTag* saved_tag = current_tag_;
  auto restore = [&] {
    set_state(saved_state);
    SetReadAhead(saved_read_ahead);
    current_tag_ = saved_tag;
  };
  set_state(kStatePassword);
  SetPasswords(current, new_password, true);
  try {
    if (has_memo() && memo() != nullptr) memo()->SetCipher(true, current, new_password);
    current_tag_ = nullptr;
    SetReadAhead(true);
    for (GetRecord(kFirst); !eof(); GetRecord(kNext)) {
      if (has_memo()) {
        for (const FieldDescriptor& d : descriptors()) {
          if (!IsMemoLetter(d.type) || static_cast<int64_t>(NumberGet(d.number)) == 0) continue;
          // Read under the old password, written back under the new one.
          MemoWrite(d.number, MemoRead(d.number));
        }
      }
      PutRecord(record_number());
    }
    // The descriptor area, with the offsets and numbers the engine keeps in it.
    std::vector<uint8_t> area;
    for (const FieldDescriptor& d : descriptors()) area.insert(area.end(), d.raw.begin(), d.raw.end());
    CipherInPlace(new_password, area.data(), area.size());
    InvalidateReadAhead();
    dBaseFld::Write(32, area.data(), area.size());
  } catch (...) {
    restore();
    // The table is now partly rewritten: records read with either password may be wrong.
    throw;
  }
  restore();
  SetPasswords(new_password, new_password, !new_password.empty());
  if (has_memo() && memo() != nullptr) memo()->SetCipher(true, new_password, new_password);
  MarkHeaderDirty();
  WriteHeader();
  if (remembered > 0 && remembered <= record_count()) {
    GetRecord(remembered);
  } else {
    GetRecord(kFirst);
  }
}

void dBHandler::SortFile(const std::string&, const std::string&, int, const std::string&) {
  throw EngineError::Make(kSortKeyLength, 240, 0);
}

}  // namespace dbase
