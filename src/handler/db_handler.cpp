// dBHandler: navigation through the current tag, the filter and past deleted records,
// skipping, key maintenance on writes, searching by field values, and the read-ahead buffer.
// Opening index files, tags and key searches are in db_handler_index.cpp.
#include "handler/db_handler.h"

#include <algorithm>
#include <cstring>

#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "expr/exp_handler.h"
#include "expr/sort/huge_set.h"
#include "handler/cursor_guard.h"
#include "handler/table_link.h"
#include "index/index_file.h"
#include "index/index_tag.h"
#include "platform/ascii_case.h"
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

int32_t dBHandler::TagTarget(int32_t request) {
  IndexTag& tag = *current_tag_;
  // The tag may stand elsewhere (a search or scan moved it): steps go from the current record.
  if ((request == kNext || request == kPrevious) && record_number() > 0 && tag.record() != record_number()) {
    tag.Resync(record_number());
  }
  int32_t n = tag.Position(request);
  const int32_t continuation = ContinuationOf(request);
  while (n > 0 && filter_active_ && !FilterBit(n)) n = tag.Position(continuation);
  if (n > 0) return n;
  const bool backward = request == kPrevious || request == kLast;
  SetEof(tag.eof() || (!tag.bof() && !backward));
  SetBof(tag.bof() || (!tag.eof() && backward));
  return 0;
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
    if (current_request < 0 && current_tag_ != nullptr) {
      if (read_ahead_) SetReadAhead(false);
      target = TagTarget(current_request);
    } else if (current_request < 0 && filter_active_) {
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
  // A record read by number: the tag stands on it, or says that it does not hold it.
  if (positioned_ && request > 0 && current_tag_ != nullptr) position_changed_ = !current_tag_->Resync(record_number());
  if (positioned_ && filter_active_ && !position_changed_) position_changed_ = FilterBit(record_number());
  if (lock_protocol() == ClipLock) UnlockIndexes();
}

void dBHandler::Skip(int32_t count) {
  if (count == 0) {
    GetRecord(kReread);
    return;
  }
  if (!filter_requested_ && use_deleted() && current_tag_ != nullptr) {
    SkipInTag(count);
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

void dBHandler::SkipInTag(int32_t count) {
  IndexTag& tag = *current_tag_;
  if (record_number() > 0 && tag.record() != record_number()) tag.Resync(record_number());
  const int step = count > 0 ? kNext : kPrevious;
  int32_t at = tag.record();
  bool hit_end = false;
  for (int64_t i = 0; i < std::abs(static_cast<int64_t>(count)); ++i) {
    const int32_t n = tag.Position(step);
    if (n <= 0) {
      at = tag.Position(count > 0 ? kLast : kFirst);
      hit_end = true;
      break;
    }
    at = n;
  }
  // The record the tag ended on is read by number with the tag set aside.
  if (at > 0) dBaseFld::GetRecord(at);
  positioned_ = at > 0 && !hit_end;
  if (hit_end || at <= 0) {
    if (count > 0) {
      SetEof(true);
    } else {
      SetBof(true);
    }
  }
  if (lock_protocol() == ClipLock) UnlockIndexes();
}

bool dBHandler::RecordAccepted() { return true; }

// ---- writes ----

void dBHandler::Append() {
  if (!LockIndexes()) return;
  try {
    dBaseFld::Append();
    SettleIndexMarks(true);
  } catch (...) {
    AfterFailedWrite();
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
    SettleIndexMarks(true);
  } catch (...) {
    AfterFailedWrite();
    UnlockIndexes();
    throw;
  }
  UnlockIndexes();
}

bool dBHandler::Notify(int event, int32_t record) {
  if (event == kEventBeforeWrite && index_count_ > 0) {
    if (record > 0) KeepPreviousContents(record);
    MarkIndexesChanging();
  }
  if (event == kEventAfterWrite) {
    if (filter_ && filter_->has_tree() && filter_set_) {
      Variant result;
      filter_->EvaluateVariant(result);
      filter_set_->Set(record_number(), result.boolean() ? 1 : 0);
    }
    position_changed_ = false;
    if (index_count_ > 0) {
      size_t done = 0;
      try {
        for (; done < index_files_.size(); ++done) {
          if (index_files_[done]) index_files_[done]->UpdateRecord(record_number(), record == 0);
        }
      } catch (...) {
        // The record is written: the file that failed, and those not reached, lack its keys.
        for (size_t i = done; i < index_files_.size(); ++i) {
          if (index_files_[i]) index_files_[i]->SetDamaged();
        }
        previous_valid_ = false;
        throw;
      }
      index_write_pending_ = false;
      previous_valid_ = false;
      ResyncTag();
    }
    if (filter_active_ && !position_changed_) position_changed_ = FilterBit(record_number());
  }
  if (event == kEventAfterFlush && index_count_ > 0) {
    SettleIndexMarks(true);
    for (auto& f : index_files_) {
      if (f) f->Flush();
    }
    if (current_tag_) current_tag_->Release();
    ResyncTag();
  }
  if (event == kEventAfterRead || event == kEventAfterWrite) last_read_ = record_number();
  if (event == kEventAfterRead || event == kEventAfterWrite) {
    ClearRecordModified();
    if (state() != kStatePassword) set_state(kStateNormal);
  }
  return dBaseFld::Notify(event, record);
}

bool dBHandler::LockIndexes() {
  if (index_count_ == 0) return true;
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
  if (index_count_ == 0) return;
  for (auto& f : index_files_) {
    if (f) f->Unlock();
  }
}

bool dBHandler::HasIndexes() { return index_count_ > 0; }

void dBHandler::SetLockProtocol(int protocol) {
  dBaseFld::SetLockProtocol(protocol);
  for (auto& f : index_files_) {
    if (f) f->SetLockProtocol(protocol);
  }
}

bool dBHandler::Rename(const std::string& new_name) {
  InvalidateReadAhead();
  const std::string old_base = BaseName(file_name());
  bool ok = dBaseFld::Rename(new_name);
  // Index files named after the table follow it (a production index keeps its name's link).
  for (auto& f : index_files_) {
    if (ok && f && platform::EqualIgnoringAsciiCase(BaseName(f->path()), old_base)) ok = f->Rename(BaseName(file_name()));
  }
  return ok;
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
  // A tag whose key is made of these fields answers the search (only case-sensitive searches:
  // keys hold the case stored), unless the current tag limits the view to a range.
  IndexTag* usable = nullptr;
  if (!case_insensitive && !(current_tag_ && current_tag_->has_range())) {
    std::string wanted_fields;
    for (const std::string& n : names) wanted_fields += platform::UpperAscii(n) + ";";
    if (current_tag_ && TagServesFields(*current_tag_, wanted_fields)) usable = current_tag_;
    for (int n = 1; usable == nullptr; ++n) {
      IndexTag* tag = TagByNumber(n);
      if (tag == nullptr) break;
      if (!tag->has_for() && TagServesFields(*tag, wanted_fields)) usable = tag;
    }
  }
  Value key;
  if (usable) {
    ExpHandler expression(link(), false, usable->key_expression());
    expression.EvaluateValue(key);
  }
  std::memcpy(record(), saved.data(), saved.size());
  ClearChangeFlags();
  ClearRecordModified();

  if (usable) {
    const bool saved_exact = exact_search();
    const bool saved_soft = soft_search_;
    set_exact_search(!partial);
    soft_search_ = false;
    current_tag_ = usable;
    bool found = false;
    try {
      found = FindValue(key);
    } catch (...) {
      set_exact_search(saved_exact);
      soft_search_ = saved_soft;
      throw;
    }
    set_exact_search(saved_exact);
    soft_search_ = saved_soft;
    if (found) cursor.KeepPosition();
    return found;
  }

  if (!(current_tag_ && current_tag_->has_range())) current_tag_ = nullptr;
  if (current_tag_ == nullptr) SetReadAhead(true);
  bool match = false;
  for (GetRecord(kFirst); !eof(); GetRecord(kNext)) {
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

}  // namespace dbase
