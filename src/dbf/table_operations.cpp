// Whole-table operations of dBHandler: copy of the structure, copy of the records with their
// memos, emptying, and enciphering or deciphering every record, memo and descriptor.
#include <cstring>
#include <functional>
#include <memory>

#include "dbf/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "dbf/memo_file.h"
#include "dbf/table_cipher.h"
#include "expr/exp_handler.h"
#include "expr/sort/huge_set.h"
#include "expr/sort/sort_db.h"

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
    // The copied field still holds the source's block number, which means nothing (or another
    // memo) in the target's memo file: the text goes in as a new memo.
    target.NumberPut(d.number, 0);
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
    target.Close();  // the last appended records reach the file, or the failure is raised
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

namespace {

// The source table as the sort reads it: its own navigation picks the records.
class TableSortSource : public SortSource {
 public:
  TableSortSource(dBHandler& table, ExpHandler& key) : table_(table), key_(key) {}
  int32_t RecordCount() override { return table_.record_count(); }
  bool First() override {
    table_.GetRecord(kFirst);
    return !table_.eof();
  }
  bool Next() override {
    table_.GetRecord(kNext);
    return !table_.eof();
  }
  int32_t CurrentRecord() override { return table_.record_number(); }
  void EvaluateKey(Value& key) override { key_.EvaluateValue(key); }

 private:
  dBHandler& table_;
  ExpHandler& key_;
};

// The sorted copy: created with the source's structure, filled one source record at a time.
class TableSortTarget : public SortTarget {
 public:
  TableSortTarget(dBHandler& source, std::string name, std::string password,
                  std::function<void(dBHandler&)> copy_memos)
      : source_(source), name_(std::move(name)), password_(std::move(password)), copy_memos_(std::move(copy_memos)) {}
  void Open() override {
    source_.CopyStructure(name_);
    target_ = std::make_unique<dBHandler>(name_, "", true, false);
    target_->SetPassword(password_);
    if (source_.has_memo()) {
      source_.memo();
      target_->memo();
    }
  }
  void CopyRecord(int32_t record) override {
    source_.GetRecord(record);
    std::memcpy(target_->record(), source_.record(), static_cast<size_t>(source_.record_length()));
    if (source_.has_memo()) copy_memos_(*target_);
    target_->Append();
  }
  void Close() override {
    target_->Close();  // the last appended records reach the file, or the failure is raised
    target_.reset();
  }

 private:
  dBHandler& source_;
  std::string name_;
  std::string password_;
  std::function<void(dBHandler&)> copy_memos_;
  std::unique_ptr<dBHandler> target_;
};


}  // namespace

void dBHandler::SortFile(const std::string& target_name, const std::string& password, int sequence,
                         const std::string& key_expression) {
  std::string key_text = SortDB::CheckKeyExpression(key_expression);
  std::string target = WithDefaultExtension(TrimName(target_name), ".dbf");
  {
    DiskFile probe(target, true, false);
    if (probe.exists()) {
      try {
        probe.Open();
      } catch (const EngineError&) {
        throw EngineError::Make(kFullAccess, "SortFile", probe.file_name());
      }
    }
  }
  const int32_t remembered = record_number();
  const bool saved_read_ahead = read_ahead_;
  SortDB sort(nullptr, SortDB::AscendingFor(sequence));
  sort.set_status([this](int32_t a, int32_t b, int32_t c) { StatusUpdate(a, b, c); });
  {
    ExpHandler key(link());
    key.SetExpression(key_text);
    TableSortSource source(*this, key);
    // Reading runs in physical order unless a tag orders it; writing then jumps from record to
    // record, where the read-ahead buffer would only cost.
    if (current_tag_ == nullptr) SetReadAhead(true);
    try {
      sort.ReadKeys(source);
    } catch (...) {
      SetReadAhead(saved_read_ahead);
      throw;
    }
    SetReadAhead(false);
  }
  TableSortTarget writer(*this, target, password, [this](dBHandler& t) { CopyMemos(t); });
  sort.WriteRecords(writer);
  SetReadAhead(saved_read_ahead);
  if (remembered > 0 && remembered <= record_count()) {
    GetRecord(remembered);
  } else {
    GetRecord(kFirst);
  }
}

}  // namespace dbase
