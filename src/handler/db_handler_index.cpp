// dBHandler and its index files: the slots, opening and creating index files and tags, the
// production index, tag selection, key searches and ranges, the index locks, rebuilds, and the
// IndexTable the index files read records through.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "handler/db_handler.h"

#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "dbf/table_cipher.h"
#include "expr/exp_handler.h"
#include "handler/cursor_guard.h"
#include "index/index_check.h"
#include "index/index_file.h"
#include "index/index_tag.h"
#include "index/open_index.h"
#include "platform/ascii_case.h"
#include "platform/os_file.h"
#include "platform/text_trim.h"

namespace dbase {

namespace {

// The names of an index list: "," and ";" outside double quotes separate them, quotes go,
// each is trimmed.
std::vector<std::string> SplitIndexList(const std::string& list) {
  std::string names = list.substr(0, 259);
  while (!names.empty() && (names.back() == ' ' || names.back() == ',' || names.back() == ';')) names.pop_back();
  std::vector<std::string> out;
  std::string current;
  bool quoted = false;
  auto finish = [&] {
    std::string name(platform::TrimBlanks(current));
    if (!name.empty()) out.push_back(name);
    current.clear();
  };
  for (char c : names) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ',' || c == ';')) {
      finish();
    } else {
      current += c;
    }
  }
  finish();
  return out;
}

// An existing file of that name, found without regard to case; "" when there is none.
std::string ExistingAnyCase(const std::string& path) {
  const std::string resolved = platform::ResolveCase(path);
  return platform::FileExists(resolved) ? resolved : std::string();
}

}  // namespace

// ---- IndexTable ----

void dBHandler::GoRecord(int32_t n) {
  ReadRecordBytes(n);
  SetRecordNumber(n);
}

bool dBHandler::UsePreviousContents(bool on) {
  if (on) {
    if (!previous_valid_ || pointer_before_previous_ != nullptr) return false;
    pointer_before_previous_ = record();
    SetRecordPointer(previous_.data());
    return true;
  }
  if (pointer_before_previous_ != nullptr) SetRecordPointer(pointer_before_previous_);
  pointer_before_previous_ = nullptr;
  return true;
}

void dBHandler::KeepPreviousContents(int32_t n) {
  previous_valid_ = false;
  if (n < 1 || n > record_count()) return;
  const size_t length = static_cast<size_t>(record_length());
  previous_.resize(length + 1);
  if (!shared() && n == last_read_ && saved_record().size() >= length) {
    // What this handle last read or wrote is what the file holds: no other process writes.
    std::memcpy(previous_.data(), saved_record().data(), length);
  } else {
    // The index holds the key of the record as stored, whatever this handle read last.
    WriteAppendedRecords();
    uint8_t* pointer = record();
    SetRecordPointer(previous_.data());
    try {
      ReadRecordBytes(n);
    } catch (...) {
      SetRecordPointer(pointer);
      throw;
    }
    SetRecordPointer(pointer);
  }
  previous_[length] = 0x1A;
  previous_valid_ = true;
}

bool dBHandler::FindField(std::string_view name, IndexField* field) const {
  const int n = FieldNumber(name);
  if (n == 0) return false;
  const FieldDescriptor& d = descriptors()[static_cast<size_t>(n - 1)];
  *field = IndexField{d.type, d.length, d.decimals, d.offset};
  return true;
}

void dBHandler::Cipher(uint8_t* bytes, size_t length) { CipherInPlace(password(), bytes, length); }

void dBHandler::MarkProductionIndex() {
  if (production_index()) return;
  SetProductionIndexFlag();
  WriteHeader();
}

// ---- opening ----

IndexFile* dBHandler::OpenIndexFile(const std::string& name) {
  const std::string path = IndexPath(*this, name);
  for (auto& f : index_files_) {
    if (f && platform::EqualIgnoringAsciiCase(f->path(), path)) return f.get();
  }
  int slot = 1;
  while (slot <= kIndexSlots && index_files_[static_cast<size_t>(slot)]) ++slot;
  if (slot > kIndexSlots) throw EngineError::Make(kFileNotFound, path);
  std::unique_ptr<IndexFile> file = OpenIndex(*this, path);
  file->SetLockProtocol(lock_protocol());
  if (file->MarkFound()) {
    if (file->shared()) {
      // A writer holds its mark under the index lock: the lock refuses one still there once the
      // writer is done, left by a failure.
      IndexLockScope check(*file);
    } else {
      RebuildMarkedIndex(*file);
    }
  }
  index_files_[static_cast<size_t>(slot)] = std::move(file);
  ++index_count_;
  return index_files_[static_cast<size_t>(slot)].get();
}

void dBHandler::RebuildMarkedIndex(IndexFile& file) {
  if (!read_write()) file.Corrupted();
  {
    CursorGuard cursor(*this);
    current_tag_ = nullptr;
    SetReadAhead(true);
    file.Reindex();
  }
  file.AfterRebuild();
  if (TableSettled()) file.EndChange();
}

// ---- rebuild marks ----

void dBHandler::MarkIndexesChanging() {
  for (auto& f : index_files_) {
    if (f) f->BeginChange();
  }
  index_write_pending_ = true;
}

void dBHandler::WithIndexesMarked(const std::function<void()>& change) {
  for (auto& f : index_files_) {
    if (!f) continue;
    try {
      f->BeginRebuild();
    } catch (...) {
      SettleIndexMarks(false);  // nothing changed yet
      throw;
    }
  }
  try {
    change();
  } catch (...) {
    for (auto& f : index_files_) {
      if (f && f->marked()) f->SetDamaged();
    }
    throw;
  }
  SettleIndexMarks(true);
}

void dBHandler::AfterFailedWrite() {
  // Whether the record reached the file is not known: keys that may be old keep their marks.
  if (index_write_pending_) {
    for (auto& f : index_files_) {
      if (f && f->marked()) f->SetDamaged();
    }
  }
  index_write_pending_ = false;
  SettleIndexMarks(false);
}

bool dBHandler::TableSettled() const {
  // A shared table locked as a whole writes its header at the unlock; its records are written.
  return appended_records_held() == 0 && (!header_dirty() || (shared() && table_locked()));
}

void dBHandler::SettleIndexMarks(bool raise) {
  if (index_count_ == 0 || !TableSettled()) return;
  std::exception_ptr failure;
  for (auto& f : index_files_) {
    if (!f) continue;
    try {
      f->EndChange();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure && raise) std::rethrow_exception(failure);
}

int dBHandler::OpenIndexes(const std::string& list, const std::string& tag_name) {
  CloseIndexes();
  const std::vector<std::string> names = SplitIndexList(list);
  if (names.empty()) return 1;
  for (const std::string& name : names) OpenIndexFile(name);
  SelectTag(tag_name, true);
  return 1;
}

std::string dBHandler::ProductionIndexPath() const {
  if (!production_index()) return "";
  // dBase III tables have no production index: their byte 28 is reserved, and some writers
  // leave it set.
  if (version() == kVersionDb3Memo) return "";
  const size_t dot = ExtensionDot(file_name());
  const std::string stem = dot == std::string::npos ? file_name() : file_name().substr(0, dot);
  const bool fox = version() == kVersionFoxMemo || version() == kVersionVfp || version() == 0x31;
  const char* first = fox ? ".cdx" : ".mdx";
  const char* second = fox ? ".mdx" : ".cdx";
  std::string path = ExistingAnyCase(stem + first);
  if (path.empty()) path = ExistingAnyCase(stem + second);
  return path.empty() ? stem + first : path;
}

bool dBHandler::OpenProductionIndex() {
  const std::string path = ProductionIndexPath();
  if (path.empty()) return false;
  if (!platform::FileExists(path)) throw EngineError::Make(kFileNotFound, path);
  OpenIndexFile(path);
  return true;
}

IndexTag* dBHandler::DefineTag(const std::string& name, const TagDefinition& definition) {
  const std::string path = IndexPath(*this, name);
  IndexFile* file = nullptr;
  for (auto& f : index_files_) {
    if (f && platform::EqualIgnoringAsciiCase(f->path(), path)) file = f.get();
  }
  if (file == nullptr && !ExistingAnyCase(path).empty()) file = OpenIndexFile(path);
  int created_slot = 0;
  if (file == nullptr) {
    created_slot = 1;
    while (created_slot <= kIndexSlots && index_files_[static_cast<size_t>(created_slot)]) ++created_slot;
    if (created_slot > kIndexSlots) throw EngineError::Make(kCreateError, path);
    std::unique_ptr<IndexFile> created = CreateIndex(*this, path);
    created->SetLockProtocol(lock_protocol());
    file = created.get();
    index_files_[static_cast<size_t>(created_slot)] = std::move(created);
    ++index_count_;
  }
  // A tag replaced in a multi-tag file goes away: the current tag must not be left pointing at it.
  if (current_tag_ && &current_tag_->file() == file &&
      (file->tag_count() == 1 || platform::EqualIgnoringAsciiCase(current_tag_->name(), definition.name))) {
    current_tag_ = nullptr;
    tag_name_.clear();
  }
  IndexTag* tag = nullptr;
  try {
    CursorGuard cursor(*this);
    current_tag_ = nullptr;
    SetReadAhead(true);
    IndexLockScope lock(*file);
    if (created_slot > 0) {
      // A new file whose build fails is removed: it needs no mark.
      tag = file->DefineTag(definition);
    } else {
      WithIndexesMarked([&] { tag = file->DefineTag(definition); });
    }
  } catch (...) {
    if (created_slot > 0) {
      // A new file that could not be built is no index: it goes, and no file passes for one.
      const std::string made = file->path();
      index_files_[static_cast<size_t>(created_slot)].reset();
      --index_count_;
      std::remove(made.c_str());
    }
    throw;
  }
  if (created_slot > 0) {
    // Created for this handle alone; opened again as the table is (shared or not).
    const std::string made = file->path();
    const std::string tag_name = tag->name();
    index_files_[static_cast<size_t>(created_slot)].reset();
    --index_count_;
    tag = OpenIndexFile(made)->FindTag(tag_name);
  }
  return tag;
}

void dBHandler::DeleteTag(const std::string& name) {
  IndexTag* tag = FindTag(name);
  if (tag == nullptr) throw EngineError::Make(kNoIndexTag, name);
  if (tag == current_tag_) {
    current_tag_ = nullptr;
    tag_name_.clear();
  }
  IndexFile& file = tag->file();
  IndexLockScope lock(file);
  const std::string tag_name = tag->name();
  WithIndexesMarked([&] { file.DeleteTag(tag_name); });
}

void dBHandler::CloseIndexes() {
  if (index_count_ > 0 && is_open() && read_write()) {
    // Marks held for records not yet in the file (an exclusive table writes them at its
    // close) go once the records and the header are written; a failure leaves them.
    try {
      WriteAppendedRecords();
      WriteHeader();
      SettleIndexMarks(false);
    } catch (...) {
      // The close reports nothing; the marks stay on the files.
    }
  }
  current_tag_ = nullptr;
  tag_name_.clear();
  for (auto& f : index_files_) f.reset();
  index_count_ = 0;
}

// ---- tags ----

IndexTag* dBHandler::FindTag(const std::string& name) const {
  const std::string wanted(platform::TrimBlanks(name.substr(0, std::min<size_t>(name.size(), 80))));
  for (const auto& f : index_files_) {
    if (!f) continue;
    if (IndexTag* tag = f->FindTag(wanted)) return tag;
  }
  return nullptr;
}

IndexTag* dBHandler::TagByNumber(int n) {
  if (n < 1) return nullptr;
  for (auto& f : index_files_) {
    if (!f) continue;
    if (n <= f->tag_count()) return f->tag(n - 1);
    n -= f->tag_count();
  }
  return nullptr;
}

void dBHandler::SelectTag(const std::string& name, bool keep_position) {
  const std::string trimmed(platform::TrimBlanks(name));
  if (trimmed.empty()) {
    if (current_tag_) current_tag_->ClearRange();
    current_tag_ = nullptr;
    tag_name_.clear();
    SetReadAhead(true);
    if (!keep_position) GetRecord(kFirst);
    return;
  }
  IndexTag* tag = FindTag(trimmed);
  if (tag == nullptr) throw EngineError::Make(kNoIndexTag, name);
  if (current_tag_ && current_tag_ != tag) {
    current_tag_->ClearRange();
    current_tag_->Release();
  }
  SetReadAhead(false);
  current_tag_ = tag;
  tag_name_ = tag->name();
  if (keep_position && record_number() > 0 && record_number() <= record_count()) {
    GetRecord(record_number());
    if (!position_changed_) return;
  }
  GetRecord(kFirst);
}

void dBHandler::ResyncTag() {
  position_changed_ = false;
  if (current_tag_ && record_number() > 0) position_changed_ = !current_tag_->Resync(record_number());
}

// ---- searching ----

void dBHandler::GoPastEnd() {
  GetRecord(kLast);
  SetEof(true);
  positioned_ = false;
}

bool dBHandler::Find(const std::string& key) {
  if (current_tag_ == nullptr) return FindKey(key);
  return FindKey(current_tag_->SearchKeyOf(current_tag_->ValueFromText(key)));
}

bool dBHandler::FindValue(const Value& key) {
  if (current_tag_ == nullptr || key.kind() == ValueKind::Text) return Find(key.AsText());
  return FindKey(current_tag_->SearchKeyOf(key));
}

bool dBHandler::FindKey(const std::string& search) {
  found_ = false;
  if (record_count() == 0) {
    ReReadHeader();
    if (record_count() == 0) return false;
  }
  const bool clip = lock_protocol() == ClipLock;
  if (clip) LockIndexes();
  try {
    if (current_tag_ == nullptr) {
      // Without a current tag there is no key order to search in.
      GoPastEnd();
    } else {
      IndexTag& tag = *current_tag_;
      tag.Seek(search);
      const int32_t at = tag.eof() ? 0 : tag.record();
      if (at == 0) {
        GoPastEnd();
      } else {
        dBaseFld::GetRecord(at);
        positioned_ = true;
        if ((deleted() && !use_deleted()) || !RecordAccepted()) GetRecord(kNext);
        if (!eof()) {
          // Equal, or (without the exact option) the search text begins the key.
          const std::string& have = tag.current_key();
          const size_t n = std::min(search.size(), static_cast<size_t>(tag.key_length()));
          bool match = have.compare(0, n, search, 0, n) == 0;
          if (match && exact_search()) {
            for (size_t i = n; i < have.size() && match; ++i) match = have[i] == ' ';
          }
          found_ = match;
        }
        if (!found_ && !soft_search_) GoPastEnd();
      }
    }
  } catch (...) {
    if (clip) UnlockIndexes();
    throw;
  }
  if (clip) UnlockIndexes();
  return found_;
}

int32_t dBHandler::FindInTag(const std::string& tag_name, const std::string& key) {
  IndexTag* tag = FindTag(tag_name);
  if (tag == nullptr) return -1;
  const bool clip = lock_protocol() == ClipLock;
  if (clip) LockIndexes();
  const bool saved_exact = exact_search();
  set_exact_search(true);
  int32_t answer = 0;
  try {
    answer = tag->Seek(tag->SearchKeyOf(tag->ValueFromText(key)));
  } catch (...) {
    set_exact_search(saved_exact);
    if (clip) UnlockIndexes();
    throw;
  }
  set_exact_search(saved_exact);
  if (clip) UnlockIndexes();
  return answer;
}

bool dBHandler::SetRange(const std::string& low, const std::string& high, int, int exclude_low, int exclude_high) {
  if (current_tag_ == nullptr) return false;
  IndexTag& tag = *current_tag_;
  if (low.empty() && high.empty()) {
    tag.ClearRange();
  } else {
    auto bound = [&tag](const std::string& text) {
      Value v;
      if (!text.empty()) v = tag.ValueFromText(text);
      return v;
    };
    tag.SetRange(bound(low), bound(high), exclude_low != 0, exclude_high != 0);
  }
  GetRecord(kFirst);
  if (bof()) Blank();
  return true;
}

bool dBHandler::TagServesFields(IndexTag& tag, const std::string& fields) {
  ExpHandler key(link(), false, tag.key_expression());
  std::string names = platform::UpperAscii(key.FieldNamesFor(17));
  if (!names.empty() && names.front() == ';') names.erase(names.begin());
  names += ';';
  if (names.size() > fields.size()) names.resize(fields.size());
  return names == fields;
}

// ---- locks and rebuilds ----

void dBHandler::Reindex() {
  CursorGuard cursor(*this);
  set_state(kStateReindex);
  current_tag_ = nullptr;
  SetReadAhead(true);
  for (auto& f : index_files_) {
    if (!f) continue;
    IndexLockScope lock(*f);
    f->BeginRebuild();
    try {
      f->Reindex();
    } catch (...) {
      f->SetDamaged();
      throw;
    }
    f->AfterRebuild();
  }
  cursor.KeepPosition();
  SettleIndexMarks(true);
}

std::string dBHandler::CheckIndexes() {
  CursorGuard cursor(*this);
  current_tag_ = nullptr;
  SetReadAhead(true);
  for (auto& f : index_files_) {
    if (!f) continue;
    IndexLockScope lock(*f);
    std::string problem = CheckIndexFile(*f);
    if (!problem.empty()) return f->file_name() + ": " + problem;
  }
  return "";
}

}  // namespace dbase
