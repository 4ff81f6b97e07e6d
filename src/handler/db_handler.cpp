// dBHandler: navigation through the filter and past deleted records, skipping, searching,
// the read-ahead buffer, and the index seams.
#include "handler/db_handler.h"

#include <algorithm>
#include <cstring>

#include "dbf/errors.h"
#include "expr/exp_handler.h"
#include "expr/sort/huge_set.h"
#include "handler/cursor_guard.h"
#include "handler/table_link.h"
#include "index/index_file.h"
#include "platform/locale.h"
#include "platform/name_list.h"

namespace dbase {

dBHandler::dBHandler(const std::string& file_name, const std::string& password, bool read_write, bool shared)
    : dBaseFld(file_name, password, read_write, shared), link_(MakeTableLink(*this)) {}

dBHandler::~dBHandler() {
  filter_.reset();
  CloseIndexes();
}

// ---- positioning ----

int32_t dBHandler::ContinuationOf(int32_t request) const {
  if (request == kReread || request == kFirst) return kNext;
  if (request == kLast) return kPrevious;
  return request;
}

int32_t dBHandler::FilteredTarget(int32_t request) {
  int32_t highest = filter_set_ ? filter_set_->highest() : -1;
  if (highest < 1) {
    SetEof(true);
    SetBof(true);
    return 0;
  }
  int32_t top = std::min(highest, record_count());
  int32_t n = -1;
  switch (request) {
    case kReread:
      return record_number();
    case kLast:
      n = filter_set_->PreviousSet(top);
      if (n < 1) SetBof(true);
      break;
    case kFirst:
      n = filter_set_->NextSet(1);
      if (n < 1 || n > top) SetEof(true);
      break;
    case kPrevious:
      n = record_number() > 1 ? filter_set_->PreviousSet(std::min(record_number() - 1, top)) : -1;
      if (n < 1) SetBof(true);
      break;
    case kNext:
      n = record_number() < top ? filter_set_->NextSet(record_number() + 1) : -1;
      if (n < 1 || n > top) SetEof(true);
      break;
    default:
      return request;
  }
  return eof() || bof() ? 0 : n;
}

void dBHandler::GetRecord(int32_t request) {
  if (state() != kStateNormal) {
    dBaseFld::GetRecord(request);
    return;
  }
  if (request == 0) return;  // asks for nothing (and has no continuation to skip with)
  position_changed_ = false;
  positioned_ = false;
  SetEof(false);
  SetBof(false);
  const bool saved_read_ahead = read_ahead_;
  const int32_t continuation = ContinuationOf(request);
  // A forward walk through the filter reads through the buffer when no other process can change
  // the file under it (an exclusive open): the records that pass usually lie close together.
  walk_ahead_ = !read_ahead_ && filter_active_ && current_tag_ == nullptr && !shared() &&
                (request == kFirst || request == kNext);
  if (walk_ahead_) {
    if (buffer_.empty()) buffer_.assign(ReadAheadSize(), 0);
    if (request == kFirst) InvalidateReadAhead();
  }
  int32_t current_request = request;
  for (;;) {
    int32_t target = current_request;
    if (current_request < 0 && filter_active_ && current_tag_ == nullptr) {
      target = FilteredTarget(current_request);
    }
    if (eof() || bof()) break;
    dBaseFld::GetRecord(target);
    if (eof() || bof() || record_number() == 0) {
      // Ran past either end (or nothing to read): no record is current in the buffer.
      Blank();
      ClearChangeFlags();
      ClearRecordModified();
      break;
    }
    bool accepted = current_request > 0 || ((!deleted() || use_deleted()) && RecordAccepted());
    if (accepted) break;
    current_request = continuation;
  }
  walk_ahead_ = false;
  if (read_ahead_ != saved_read_ahead) SetReadAhead(saved_read_ahead);
  positioned_ = !eof() && !bof();
  if (positioned_ && filter_active_ && !position_changed_) position_changed_ = FilterBit(record_number());
  if (lock_protocol() == ClipLock) UnlockIndexes();
}

void dBHandler::Skip(int32_t count) {
  if (count == 0) {
    GetRecord(kReread);
    return;
  }
  if (!filter_requested_ && use_deleted() && current_tag_ == nullptr) {
    int64_t target = static_cast<int64_t>(record_number()) + count;
    bool hit_end = false;
    if (target > record_count()) {
      target = record_count();
      hit_end = true;
    } else if (target < 1) {
      target = 1;
      hit_end = true;
    }
    if (target >= 1) GetRecord(static_cast<int32_t>(target));
    if (hit_end || target < 1) {
      if (count > 0) {
        SetEof(true);
      } else {
        SetBof(true);
      }
      positioned_ = false;
    }
    return;
  }
  int32_t step = count > 0 ? kNext : kPrevious;
  for (int64_t i = 0; i < std::abs(static_cast<int64_t>(count)); ++i) {
    GetRecord(step);
    if (eof() || bof()) break;
  }
}

bool dBHandler::RecordAccepted() { return true; }

// ---- writes ----

void dBHandler::Append() {
  if (!LockIndexes()) return;
  try {
    dBaseFld::Append();
  } catch (...) {
    UnlockIndexes();
    throw;
  }
  UnlockIndexes();
}

void dBHandler::PutRecord(int32_t record) {
  if (!LockIndexes()) return;
  position_changed_ = false;
  try {
    dBaseFld::PutRecord(record);
  } catch (...) {
    UnlockIndexes();
    throw;
  }
  UnlockIndexes();
}

bool dBHandler::Notify(int event, int32_t record) {
  if (event == kEventAfterWrite) {
    if (filter_ && filter_->has_tree() && filter_set_) {
      Variant result;
      filter_->EvaluateVariant(result);
      filter_set_->Set(record_number(), result.boolean() ? 1 : 0);
    }
    position_changed_ = false;
    if (filter_active_ && !position_changed_) position_changed_ = FilterBit(record_number());
  }
  if (event == kEventAfterRead || event == kEventAfterWrite) {
    ClearRecordModified();
    if (state() != kStatePassword) set_state(kStateNormal);
  }
  return dBaseFld::Notify(event, record);
}

bool dBHandler::LockIndexes() {
  for (int slot = 1; slot <= kIndexSlots; ++slot) {
    if (!index_files_[static_cast<size_t>(slot)]) continue;
    if (!index_files_[static_cast<size_t>(slot)]->Lock()) {
      for (int back = 1; back < slot; ++back) {
        if (index_files_[static_cast<size_t>(back)]) index_files_[static_cast<size_t>(back)]->Unlock();
      }
      throw EngineError::Make(kCannotLockIndexes, file_name());
    }
  }
  return true;
}

void dBHandler::UnlockIndexes() {
  for (auto& f : index_files_) {
    if (f) f->Unlock();
  }
}

bool dBHandler::HasIndexes() { return index_files_[1] != nullptr; }

void dBHandler::SetLockProtocol(int protocol) { dBaseFld::SetLockProtocol(protocol); }

bool dBHandler::Rename(const std::string& new_name) {
  InvalidateReadAhead();
  return dBaseFld::Rename(new_name);
}

// ---- read-ahead ----

void dBHandler::SetReadAhead(bool on) {
  if (on == read_ahead_) return;
  read_ahead_ = on;
  if (on) {
    buffer_.assign(ReadAheadSize(), 0);
  } else {
    buffer_.clear();
    buffer_.shrink_to_fit();
  }
  InvalidateReadAhead();
}

int64_t dBHandler::Read(uint64_t offset, void* buffer, size_t length) {
  if (!(read_ahead_ || walk_ahead_) || offset < static_cast<uint64_t>(header_length()) || length > buffer_.size()) {
    return dBaseFld::Read(offset, buffer, length);
  }
  int64_t off = static_cast<int64_t>(offset);
  if (!(buffer_start_ >= 0 && off >= buffer_start_ && off + static_cast<int64_t>(length) <= buffer_end_)) {
    int64_t got = dBaseFld::Read(offset, buffer_.data(), buffer_.size());
    buffer_start_ = off;
    buffer_end_ = off + got;
    if (got <= 0) {
      last_count_ = 0;
      return 0;
    }
  }
  int64_t available = std::min<int64_t>(static_cast<int64_t>(length), buffer_end_ - off);
  std::memcpy(buffer, buffer_.data() + (off - buffer_start_), static_cast<size_t>(available));
  last_count_ = available;
  position_ = offset + length;
  return available;
}

void dBHandler::Write(uint64_t offset, const void* buffer, size_t length) {
  dBaseFld::Write(offset, buffer, length);
  // The buffer may hold records while read-ahead is off (a walk through the filter left them).
  if (offset == 0 || buffer_start_ < 0) return;
  const auto begin = static_cast<int64_t>(offset);
  const auto end = begin + static_cast<int64_t>(length);
  // A write that starts inside the buffered run and goes past its end (an append after the
  // last buffered record) extends the run while room remains, so that the record just written
  // is read back from memory rather than from the file.
  if (begin >= buffer_start_ && begin <= buffer_end_ && end > buffer_end_ &&
      end - buffer_start_ <= static_cast<int64_t>(buffer_.size())) {
    std::memcpy(buffer_.data() + (begin - buffer_start_), buffer, length);
    buffer_end_ = end;
    return;
  }
  int64_t from = std::max<int64_t>(begin, buffer_start_);
  int64_t to = std::min<int64_t>(end, buffer_end_);
  if (from < to) {
    std::memcpy(buffer_.data() + (from - buffer_start_), static_cast<const uint8_t*>(buffer) + (from - begin),
                static_cast<size_t>(to - from));
  }
}

// ---- filter ----

bool dBHandler::FilterBit(int32_t record) const { return filter_set_ && filter_set_->Test(record); }

void dBHandler::SetFilter(const std::string& expression, bool case_insensitive, bool wildcards) {
  if (!filter_set_) filter_set_ = std::make_unique<HugeSet>();
  const bool requested = filter_requested_;
  std::string trimmed = expression;
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  if (trimmed.empty()) {
    filter_.reset();
    filter_text_.clear();
    SetFilterActive(requested);
    return;
  }
  if (filter_ && filter_->has_tree() && expression == filter_text_ && case_insensitive == filter_case_insensitive_ &&
      wildcards == filter_wildcards_) {
    SetFilterActive(requested);
    return;
  }
  // The new filter is compiled and scanned aside and takes the old one's place only when
  // complete: a failure on any record leaves the table with the filter it had.
  auto filter = std::make_unique<ExpHandler>(link());
  filter->set_case_insensitive(case_insensitive);
  filter->set_wildcards(wildcards);
  filter->SetExpression(expression);
  Variant probe;
  filter->EvaluateVariant(probe);
  if (filter->ResultType() != ExpType::Boolean) throw EngineError::Make(kFilterNotBoolean);
  auto set = std::make_unique<HugeSet>();
  ScanFilter(*filter, *set);
  filter_ = std::move(filter);
  filter_set_ = std::move(set);
  filter_text_ = expression;
  filter_case_insensitive_ = case_insensitive;
  filter_wildcards_ = wildcards;
  SetFilterActive(requested);
}

void dBHandler::ScanFilter(ExpHandler& filter, HugeSet& set) {
  CursorGuard cursor(*this);
  current_tag_ = nullptr;
  filter_active_ = false;
  SetReadAhead(true);
  set.Clear();
  Variant result;
  for (GetRecord(kFirst); !eof(); GetRecord(kNext)) {
    filter.EvaluateVariant(result);
    if (result.boolean()) set.Set(record_number(), 1);
  }
}

void dBHandler::SetFilterActive(bool on) {
  filter_requested_ = on;
  filter_active_ = on && filter_ && filter_->has_tree();
}

void dBHandler::RebuildFilter() {
  if (!filter_active_) return;
  auto set = std::make_unique<HugeSet>();
  ScanFilter(*filter_, *set);
  filter_set_ = std::move(set);
}

// ---- searching ----

bool dBHandler::Find(const std::string&) {
  found_ = false;
  if (record_count() == 0) {
    ReReadHeader();
    if (record_count() == 0) return false;
  }
  // Without a current tag there is no key order to search in.
  GetRecord(kLast);
  SetEof(true);
  positioned_ = false;
  return false;
}

int32_t dBHandler::FindInTag(const std::string&, const std::string&) { return -1; }

bool dBHandler::Locate(const std::string& fields, const std::vector<std::string>& values, bool partial,
                       bool case_insensitive) {
  // Found: the table stays on the record found; not found, or failed: back where it was.
  CursorGuard cursor(*this);
  GetRecord(kFirst);
  if (bof() || eof()) return false;
  const std::vector<std::string> names = platform::SplitNameList(fields);
  if (names.empty()) return false;
  // The wanted values as the fields show them: put into a scratch record, then read back.
  std::vector<uint8_t> saved(record(), record() + record_length() + 1);
  Blank();
  std::vector<std::string> wanted;
  for (size_t i = 0; i < names.size(); ++i) {
    StringPutByName(names[i], i < values.size() ? values[i] : std::string());
  }
  for (const std::string& n : names) {
    std::string w = StringGetByName(n);
    wanted.push_back(case_insensitive ? platform::UpperText(w) : w);
  }
  std::memcpy(record(), saved.data(), saved.size());
  ClearChangeFlags();
  ClearRecordModified();

  current_tag_ = nullptr;
  SetReadAhead(true);
  bool match = false;
  for (; !eof(); GetRecord(kNext)) {
    match = true;
    for (size_t i = 0; i < names.size() && match; ++i) {
      std::string have = StringGetByName(names[i]);
      if (case_insensitive) have = platform::UpperText(have);
      if (partial && i + 1 == names.size() && have.size() > wanted[i].size()) have.resize(wanted[i].size());
      match = have == wanted[i];
    }
    if (match) break;
  }
  if (match) cursor.KeepPosition();
  return match;
}

// ---- index seams ----

int dBHandler::OpenIndexes(const std::string& list, const std::string&) {
  CloseIndexes();
  std::string names = list;
  while (!names.empty() && (names.back() == ' ' || names.back() == ',' || names.back() == ';')) names.pop_back();
  if (names.empty()) return 1;
  // No index format is available in this build: the first name cannot be opened.
  std::string first = names.substr(0, names.find_first_of(",;"));
  first.erase(std::remove(first.begin(), first.end(), '"'), first.end());
  while (!first.empty() && first.front() == ' ') first.erase(first.begin());
  while (!first.empty() && first.back() == ' ') first.pop_back();
  throw EngineError::Make(kFileNotFound, first);
}

void dBHandler::SelectTag(const std::string& name, bool keep_position) {
  std::string trimmed = name;
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(trimmed.begin());
  if (!trimmed.empty()) throw EngineError::Make(kNoIndexTag, name);
  current_tag_ = nullptr;
  tag_name_.clear();
  SetReadAhead(true);
  if (!keep_position) GetRecord(kFirst);
}

IndexTag* dBHandler::TagByNumber(int) { return nullptr; }

void dBHandler::CloseIndexes() {
  for (auto& f : index_files_) f.reset();
  current_tag_ = nullptr;
  tag_name_.clear();
}

void dBHandler::Reindex() {
  int saved_state = state();
  bool saved_read_ahead = read_ahead_;
  set_state(kStateReindex);
  SetReadAhead(true);
  // Every open index file would rebuild itself here.
  set_state(saved_state == kStateReindex ? kStateNormal : saved_state);
  SetReadAhead(saved_read_ahead);
  GetRecord(kFirst);
}

bool dBHandler::SetRange(const std::string&, const std::string&, int, int, int) { return current_tag_ != nullptr; }

}  // namespace dbase
