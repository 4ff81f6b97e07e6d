// Whole-table operations of dBHandler: copy of the structure, copy of the records with their
// memos, emptying, and enciphering or deciphering every record, memo and descriptor. Each one
// writes the new table in a TableReplacement's work folder and puts it in place when complete.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "dbf/byte_order.h"
#include "handler/cursor_guard.h"
#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/dbf_layout.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "dbf/memo_file.h"
#include "dbf/table_cipher.h"
#include "dbf/table_replacement.h"
#include "expr/exp_handler.h"
#include "expr/sort/huge_set.h"
#include "expr/sort/sort_db.h"
#include "index/index_file.h"
#include "platform/ascii_case.h"
#include "platform/os_file.h"

namespace dbase {

namespace {

constexpr uint8_t kEndOfFile = 0x1A;

// The full path of a table name as the engine opens it, `extension` added when it has none.
std::string TablePath(const std::string& name, const char* extension) {
  return platform::ResolveCase(platform::ExpandPath(WithDefaultExtension(TrimName(name), extension)));
}

// Blanks, in the record copied into `target`, a memo reference that cannot be followed, and
// lists it.
void ClearCopiedField(dBHandler& target, const FieldDescriptor& d, int32_t record,
                      std::vector<dBHandler::ClearedMemo>* cleared) {
  std::memset(target.record() + d.offset, ' ', static_cast<size_t>(d.length));
  cleared->push_back({record, d.number});
}

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

bool dBHandler::BuilderKeepsLayout() const {
  bool memo_field = false;
  for (const FieldDescriptor& d : descriptors()) {
    if (d.name.empty() || d.name.size() > 10) return false;
    for (char c : d.name) {
      if (static_cast<unsigned char>(c) >= 0x80 || platform::UpperAscii(c) != c) return false;
    }
    if (platform::UpperAscii(d.type) != d.type) return false;
    switch (d.type) {
      case 'D':
        if (d.length != 8 || d.decimals != 0) return false;
        break;
      case 'L':
        if (d.length != 1 || d.decimals != 0) return false;
        break;
      case 'M':
      case 'B':
      case 'G':
        if (d.length != 10 || d.decimals != 0) return false;
        memo_field = true;
        break;
      default:
        break;
    }
  }
  const uint8_t memo_version = version() == kVersionDb4Memo   ? kVersionDb4Memo
                               : version() == kVersionFoxMemo ? kVersionFoxMemo
                                                              : kVersionDb3Memo;
  return version() == (memo_field ? memo_version : kVersionDb3);
}

void dBHandler::CopyStructure(const std::string& target) {
  if (!BuilderKeepsLayout()) {
    CopyHeaderExactly(target);
    return;
  }
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

std::vector<uint8_t> dBHandler::HeaderArea() {
  std::vector<uint8_t> area(static_cast<size_t>(header_length()));
  if (DiskFile::Read(0, area.data(), area.size()) < static_cast<int64_t>(area.size())) {
    throw EngineError::Make(kReadError, file_name());
  }
  return area;
}

std::vector<uint8_t> dBHandler::EmptyMemoImage() { return memo()->EmptyHeader(); }

void dBHandler::CopyHeaderExactly(const std::string& target_name) {
  const std::string target = WithDefaultExtension(TrimName(target_name), ".DBF");
  std::vector<uint8_t> area = HeaderArea();
  // A plain copy: the descriptors as they read, and no cipher flag.
  const size_t descriptors_end = area.size() - (version() == kVersionVfp ? 264 : 1);
  if (encrypted()) CipherInPlace(password(), area.data() + 32, descriptors_end - 32);
  std::array<uint8_t, 32> image{};
  std::memcpy(image.data(), area.data(), image.size());
  StampHeader(image, 0, false);
  image[dbf_layout::kTableFlags] &= 0x06;  // the copy has no structural index file
  std::memset(&image[dbf_layout::kLastWriter], 0, 4);  // nor a last writer
  std::memcpy(area.data(), image.data(), image.size());
  area.push_back(kEndOfFile);
  DiskFile table(target, true, false);
  table.Create();
  table.Write(0, area.data(), area.size());
  if (!has_memo()) return;
  std::vector<uint8_t> memo_head = EmptyMemoImage();
  if (version() != kVersionFoxMemo && version() != kVersionVfp) {
    // dBase memo files carry the first 8 characters of their table's base name from byte 8.
    const std::string base = BaseName(target);
    std::memset(&memo_head[8], 0, 9);
    std::memcpy(&memo_head[8], base.data(), std::min<size_t>(base.size(), 8));
  }
  DiskFile memo_file(MemoFile::MemoFileName(version(), target), true, false);
  memo_file.Create();
  memo_file.Write(0, memo_head.data(), memo_head.size());
}

std::unique_ptr<DiskFile> dBHandler::WriteEmptyTable(const TableReplacement& replacement, bool encrypted,
                                                     const std::vector<uint8_t>& descriptors) {
  std::vector<uint8_t> area = HeaderArea();
  std::array<uint8_t, 32> image = header();
  StampHeader(image, 0, encrypted);
  std::memcpy(area.data(), image.data(), image.size());
  std::copy(descriptors.begin(), descriptors.end(), area.begin() + 32);
  area.push_back(kEndOfFile);
  auto table = std::make_unique<DiskFile>(replacement.new_table(), true, false);
  table->Create();
  table->Write(0, area.data(), area.size());
  // Flushed through the file objects, so that nothing they hold back misses the commit.
  table->Flush();
  if (has_memo()) {
    std::vector<uint8_t> memo_head = EmptyMemoImage();
    const std::string& memo_name = memo()->file_name();
    DiskFile memo_file(replacement.WorkPath(memo_name.substr(NameStart(memo_name))), true, false);
    memo_file.Create();
    memo_file.Write(0, memo_head.data(), memo_head.size());
    memo_file.Flush();
  }
  return table;
}

void dBHandler::EncipherEmpty(const std::string& password) {
  if (password.empty()) return;
  std::vector<uint8_t> area;
  for (const FieldDescriptor& d : descriptors()) area.insert(area.end(), d.raw.begin(), d.raw.end());
  CipherInPlace(password, area.data(), area.size());
  InvalidateReadAhead();
  dBaseFld::Write(32, area.data(), area.size());
  SetPasswords(password, password, true);
  CloseMemo();  // opened again with the password
  MarkHeaderDirty();
  WriteHeader();
}

std::unique_ptr<dBHandler> dBHandler::OpenCopyTarget(const TableReplacement& replacement, const std::string& password) {
  CopyStructure(replacement.new_table());
  auto target = std::make_unique<dBHandler>(replacement.new_table(), "", true, false);
  // Records are copied byte for byte: a target of another layout is refused, never overrun.
  bool same = target->record_length() == record_length() && target->field_count() == field_count();
  for (int n = 1; same && n <= field_count(); ++n) {
    same = target->FieldType(n) == FieldType(n) && target->FieldLen(n) == FieldLen(n) &&
           target->FieldOffset(n) == FieldOffset(n);
  }
  if (!same) throw EngineError::Make(kHeaderInvalid, file_name());
  target->EncipherEmpty(password);
  if (has_memo()) {
    memo();
    target->memo();
  }
  return target;
}

void dBHandler::CopyMemos(dBHandler& target, std::vector<ClearedMemo>* cleared) {
  for (const FieldDescriptor& d : descriptors()) {
    if (!IsMemoType(d.number)) continue;
    long double block = 0;
    std::string text;
    try {
      block = NumberGet(d.number);
      if (static_cast<int64_t>(block) == 0) continue;
      if (block < 0 && cleared != nullptr) throw EngineError::Make(kMemoBad, file_name());
      text = MemoRead(d.number);
    } catch (const EngineError& e) {
      // Damage is cleared; a failing disk is not damage, and stops the rewrite.
      if (cleared == nullptr || e.os_error() != 0) throw;
      ClearCopiedField(target, d, record_number(), cleared);
      continue;
    } catch (const ConversionError&) {
      if (cleared == nullptr) throw;
      ClearCopiedField(target, d, record_number(), cleared);
      continue;
    }
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
  int32_t remembered = 0;
  {
    CursorGuard cursor(*this);
    remembered = cursor.record();
    ReReadHeader();
    StatusUpdate(-1, 6, record_count());
    TableReplacement replacement(TablePath(target_name, ".DBF"), true);
    {
      std::unique_ptr<dBHandler> target = OpenCopyTarget(replacement, password);
      size_t bytes = static_cast<size_t>(record_length()) + 1;
      for (GetRecord(kFirst); !eof(); GetRecord(kNext)) {
        StatusUpdate(6, record_number(), 0);
        std::memcpy(target->record(), record(), bytes);
        if (has_memo()) CopyMemos(*target);
        target->Append();
      }
      target->Flush();
    }
    replacement.Commit();
    StatusUpdate(0, 0, 0);
  }
  if (remembered <= 0 || remembered > record_count()) GetRecord(kFirst);
}

void dBHandler::Zap() {
  CheckFullAccess("Zap");
  WithIndexesMarked([&] {
    TableReplacement replacement(file_name(), false);
    std::unique_ptr<DiskFile> fresh = WriteEmptyTable(replacement, encrypted(), {});
    replacement.Commit();
    AdoptReplacement(*fresh);
    SetRecordNumber(0);
    if (filter_set_) filter_set_->Clear();
    InvalidateReadAhead();
    GetRecord(kFirst);
    Reindex();
  });
}

void dBHandler::RewriteTable(const std::string& key, bool skip_deleted, std::vector<ClearedMemo>* cleared) {
  TableReplacement replacement(file_name(), false);
  // The new table: this header area with the descriptors (and the offsets and numbers the
  // engine keeps in them) enciphered with `key`, then the records of the file whatever filter is
  // active (all, or those not marked deleted), read with the current password and written with
  // `key`, their memos into a new memo file, so that blocks no record uses are left behind.
  std::vector<uint8_t> fields;
  for (const FieldDescriptor& d : descriptors()) fields.insert(fields.end(), d.raw.begin(), d.raw.end());
  CipherInPlace(key, fields.data(), fields.size());
  WriteEmptyTable(replacement, !key.empty(), fields);
  dBHandler target(replacement.new_table(), key, true, false);
  target.set_user_id(user_id());
  current_tag_ = nullptr;
  SetReadAhead(true);
  const size_t bytes = static_cast<size_t>(record_length());
  for (int32_t n = 1; n <= record_count(); ++n) {
    dBaseFld::GetRecord(n);
    if (skip_deleted && deleted()) continue;
    std::memcpy(target.record(), record(), bytes);
    if (has_memo()) CopyMemos(target, cleared);
    target.Append();
  }
  target.Flush();
  replacement.Commit();
  AdoptReplacement(target);
}

void dBHandler::Pack() {
  CheckFullAccess("Pack");
  RewriteRecords(true, nullptr);
}

void dBHandler::Salvage(std::vector<ClearedMemo>* cleared) {
  CheckFullAccess("Salvage");
  RewriteRecords(false, cleared);
}

void dBHandler::RewriteRecords(bool skip_deleted, std::vector<ClearedMemo>* cleared) {
  // The index files keep their marks from before the new table takes the old one's place
  // until they are rebuilt for it.
  WithIndexesMarked([&] {
    {
      // A failure leaves the old table, and the cursor as it was.
      CursorGuard cursor(*this);
      RewriteTable(encrypted() ? password() : std::string(), skip_deleted, cleared);
      // Record numbers may have changed: the old position means nothing now.
      cursor.KeepPosition();
    }
    InvalidateReadAhead();
    SetRecordNumber(0);
    if (filter_set_) RebuildFilter();
    Reindex();
  });
  GetRecord(kFirst);
}

void dBHandler::SetPassword(const std::string& new_password) {
  CheckFullAccess("SetPassword");
  if (encrypted() && new_password == password()) return;
  if (!encrypted() && new_password.empty()) return;

  {
    CursorGuard cursor(*this);
    set_state(kStatePassword);
    RewriteTable(new_password, false);
    const std::string old_password = encrypted() ? password() : std::string();
    SetPasswords(new_password, new_password, !new_password.empty());
    InvalidateReadAhead();
    // The open index files follow the table's cipher.
    const auto from = [&old_password](uint8_t* piece, size_t n) { CipherInPlace(old_password, piece, n); };
    const auto to = [&new_password](uint8_t* piece, size_t n) { CipherInPlace(new_password, piece, n); };
    for (auto& f : index_files_) {
      if (f) f->Recrypt(from, to);
    }
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

// The sorted copy: created with the source's structure in the replacement's work folder,
// filled in key order. Going to each source record in turn would cost one read at a random
// place per record, so without memos the records are taken in batches: a batch's record
// numbers are put in file order and read in runs, then appended in key order.
class TableSortTarget : public SortTarget {
 public:
  using Opener = std::function<std::unique_ptr<dBHandler>()>;
  TableSortTarget(dBHandler& source, Opener open, std::function<void(dBHandler&)> copy_memos)
      : source_(source), open_(std::move(open)), copy_memos_(std::move(copy_memos)) {}
  void Open() override {
    target_ = open_();
    if (source_.has_memo()) return;
    // A batch of about an eighth of the table (768 KB to 16 MB) reads the table at most eight
    // times over, from the page cache. The smallest one with its run buffer takes less than the
    // key buffer the sort has let go of by now, so a small sort's peak memory does not grow.
    const size_t length = static_cast<size_t>(source_.record_length());
    const size_t table = static_cast<size_t>(source_.record_count()) * length;
    const size_t bytes = std::clamp(table / 8, kMinBatchBytes, kMaxBatchBytes);
    capacity_ = std::max<size_t>(1, bytes / length);
    order_.reserve(std::min(capacity_, static_cast<size_t>(source_.record_count())));
  }
  void CopyRecord(int32_t record) override {
    if (capacity_ > 0) {
      // Record number in the high half, place in the batch in the low half: sorted, file order.
      order_.push_back(static_cast<uint64_t>(static_cast<uint32_t>(record)) << 32 | order_.size());
      if (order_.size() == capacity_) WriteBatch();
      return;
    }
    source_.GetRecord(record);
    std::memcpy(target_->record(), source_.record(), static_cast<size_t>(source_.record_length()));
    if (source_.has_memo()) copy_memos_(*target_);
    target_->Append();
  }
  void Close() override {
    WriteBatch();
    target_->Flush();
    target_.reset();
  }

 private:
  static constexpr size_t kMinBatchBytes = size_t{768} << 10;
  static constexpr size_t kMaxBatchBytes = size_t{16} << 20;
  // One read covers at most this much, and a gap this long between wanted records ends it.
  static constexpr size_t kRunBytes = size_t{128} << 10;
  static constexpr size_t kGapBytes = size_t{16} << 10;

  void WriteBatch() {
    if (order_.empty()) return;
    const size_t length = static_cast<size_t>(source_.record_length());
    const size_t count = order_.size();
    std::sort(order_.begin(), order_.end());
    records_.resize(count * length);
    const size_t run_records = std::max<size_t>(1, kRunBytes / length);
    const size_t gap_records = kGapBytes / length;
    run_.resize(run_records * length);
    for (size_t i = 0; i < count;) {
      const auto first = static_cast<int32_t>(order_[i] >> 32);
      size_t end = i + 1;
      int32_t last = first;
      while (end < count) {
        const auto next = static_cast<int32_t>(order_[end] >> 32);
        if (static_cast<size_t>(next - first) >= run_records || static_cast<size_t>(next - last) > gap_records + 1) break;
        last = next;
        ++end;
      }
      source_.ReadRecordRun(first, last - first + 1, run_.data());
      for (; i < end; ++i) {
        const size_t from = static_cast<size_t>(static_cast<int32_t>(order_[i] >> 32) - first) * length;
        std::memcpy(records_.data() + (order_[i] & 0xFFFFFFFFu) * length, run_.data() + from, length);
      }
    }
    for (size_t i = 0; i < count; ++i) {
      std::memcpy(target_->record(), records_.data() + i * length, length);
      target_->Append();
    }
    order_.clear();
  }

  dBHandler& source_;
  Opener open_;
  std::function<void(dBHandler&)> copy_memos_;
  std::unique_ptr<dBHandler> target_;
  size_t capacity_ = 0;  // records per batch; 0 goes record by record
  std::vector<uint64_t> order_;
  std::vector<uint8_t> records_;
  std::vector<uint8_t> run_;
};

}  // namespace

void dBHandler::SortFile(const std::string& target_name, const std::string& password, int sequence,
                         const std::string& key_expression) {
  std::string key_text = SortDB::CheckKeyExpression(key_expression);
  std::string target = TablePath(target_name, ".dbf");
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
  int32_t remembered = 0;
  {
    CursorGuard cursor(*this);
    remembered = cursor.record();
    SortDB sort(nullptr, SortDB::AscendingFor(sequence));
    sort.set_status([this](int32_t a, int32_t b, int32_t c) { StatusUpdate(a, b, c); });
    {
      ExpHandler key(link());
      key.SetExpression(key_text);
      TableSortSource source(*this, key);
      // Reading runs in physical order unless a tag orders it; writing then jumps from record to
      // record, where the read-ahead buffer would only cost.
      if (current_tag_ == nullptr) SetReadAhead(true);
      sort.ReadKeys(source);
      SetReadAhead(false);
    }
    TableReplacement replacement(target, true);
    TableSortTarget writer(
        *this, [&] { return OpenCopyTarget(replacement, password); }, [this](dBHandler& t) { CopyMemos(t); });
    sort.WriteRecords(writer);
    replacement.Commit();
  }
  if (remembered <= 0 || remembered > record_count()) GetRecord(kFirst);
}

}  // namespace dbase
