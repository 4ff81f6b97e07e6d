// TTableDataSet: the record buffers. Their layout, the record fetch with its pending first and
// last positions, bookmarks, new records, and the conversion of field values between the
// record image and the dataset's value kinds.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dataset/calc_area.h"
#include "dataset/database_error.h"
#include "dataset/date_time.h"
#include "dataset/table_dataset.h"
#include "dbf/errors.h"
#include "platform/locale.h"

namespace quarvel {

namespace {

int64_t NearestInteger(long double v) {
  if (!std::isfinite(v)) return 0;
  if (v >= 9.2e18L) return INT64_MAX;
  if (v <= -9.2e18L) return INT64_MIN;
  return static_cast<int64_t>(std::llroundl(v));
}

}  // namespace

// ---- buffer parts ----

int32_t TTableDataSet::BufferRecordNumber(const uint8_t* buffer) const {
  int32_t n;
  std::memcpy(&n, buffer + layout_.record_number, sizeof n);
  return n;
}

void TTableDataSet::SetBufferRecordNumber(uint8_t* buffer, int32_t record) {
  std::memcpy(buffer + layout_.record_number, &record, sizeof record);
}

void TTableDataSet::FillBookmark(uint8_t* buffer, int32_t record) {
  char text[16];
  std::snprintf(text, sizeof text, "%10d", record);
  std::memcpy(buffer + layout_.bookmark, text, 10);
  buffer[layout_.bookmark + 10] = 0;
}

BookmarkFlag TTableDataSet::GetBookmarkFlag(const uint8_t* buffer) const {
  return static_cast<BookmarkFlag>(buffer[layout_.flag]);
}

void TTableDataSet::SetBookmarkFlag(uint8_t* buffer, BookmarkFlag flag) { buffer[layout_.flag] = static_cast<uint8_t>(flag); }

Bookmark TTableDataSet::GetBookmarkData(const uint8_t* buffer) const {
  return Bookmark(reinterpret_cast<const char*>(buffer + layout_.bookmark), 11);
}

void TTableDataSet::SetBookmarkData(uint8_t* buffer, const Bookmark& bookmark) {
  std::memset(buffer + layout_.bookmark, 0, 11);
  std::memcpy(buffer + layout_.bookmark, bookmark.data(), std::min<size_t>(bookmark.size(), 11));
}

void TTableDataSet::ClearCalcFields(uint8_t* buffer) {
  std::memset(buffer + layout_.calc, 0, static_cast<size_t>(CalcFieldsSize()));
}

uint8_t* TTableDataSet::ActiveRecBuf() {
  switch (State()) {
    case DataSetState::kBrowse:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case DataSetState::kEdit:
    case DataSetState::kInsert:
    case DataSetState::kNewValue:
      return ActiveBuffer();
    case DataSetState::kSetKey:
      return key_buffer_.data();
    case DataSetState::kCalcFields:
    case DataSetState::kInternalCalc:
      return CalcBuffer();
    case DataSetState::kFilter:
      // Filtering looks at the record the handler has just read, wherever it went.
      return table_ ? table_->record() : nullptr;
    case DataSetState::kInactive:
      break;
  }
  return nullptr;
}

int TTableDataSet::TableFieldNumber(const Field& field) const {
  int def = field.FieldNo();
  if (def < 1 || static_cast<size_t>(def) > table_field_numbers_.size()) return 0;
  return table_field_numbers_[static_cast<size_t>(def - 1)];
}

std::string TTableDataSet::ToTable(const std::string& text) const {
  return translate_ascii_ ? dbase::platform::Cp1252ToCp850(text) : text;
}

std::string TTableDataSet::FromTable(const std::string& text) const {
  return translate_ascii_ ? dbase::platform::Cp850ToCp1252(text) : text;
}

// ---- positioning ----

GetResult TTableDataSet::GetRecord(uint8_t* buffer, GetMode mode, bool do_check) {
  GetResult result = GetResult::kOk;
  {
    RecordPointerScope scope(*table_, buffer);
    try {
      switch (mode) {
        case GetMode::kCurrent:
          if (pending_first_) {
            result = GetResult::kBof;
          } else if (pending_last_) {
            result = GetResult::kEof;
          } else {
            table_->GetRecord(dbase::kReread);
          }
          break;
        case GetMode::kNext:
          if (pending_first_) {
            table_->GetRecord(dbase::kFirst);
            pending_first_ = false;
          } else if (pending_last_) {
            result = GetResult::kEof;
          } else {
            table_->GetRecord(dbase::kNext);
          }
          break;
        case GetMode::kPrior:
          if (pending_first_) {
            result = GetResult::kBof;
          } else if (!pending_last_ || (State() == DataSetState::kInsert && ActiveRecordIndex() != 0)) {
            table_->GetRecord(dbase::kPrevious);
          } else {
            table_->GetRecord(dbase::kLast);
            pending_last_ = false;
          }
          break;
      }
      if (result == GetResult::kOk) {
        if (table_->eof()) {
          result = GetResult::kEof;
        } else if (table_->bof() || table_->record_number() < 1) {
          result = GetResult::kBof;
        }
      }
    } catch (const dbase::EngineError&) {
      if (do_check) throw DatabaseError(std::string(msg::kRecordBeyondRange));
      return GetResult::kError;
    }
  }
  if (result == GetResult::kOk) {
    SetBufferRecordNumber(buffer, table_->record_number());
    SetBookmarkFlag(buffer, BookmarkFlag::kCurrent);
    FillBookmark(buffer, table_->record_number());
    GetCalcFields(buffer);
  }
  return result;
}

void TTableDataSet::InternalFirst() {
  pending_first_ = true;
  pending_last_ = false;
}

void TTableDataSet::InternalLast() {
  table_->GetRecord(dbase::kLast);
  pending_last_ = true;
}

void TTableDataSet::InternalGotoBookmark(const Bookmark& bookmark) {
  std::string_view text(bookmark.data(), bookmark.size());
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int32_t record = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), record);
  if (text.empty() || res.ec != std::errc() || res.ptr != text.data() + text.size()) {
    throw DatabaseError(std::string(msg::kBookmarkInvalid) + table_name_);
  }
  // A record number of 0 or less names no record: nothing to go to.
  if (record < 1) return;
  table_->GetRecord(record);
  pending_first_ = pending_last_ = false;
}

void TTableDataSet::InternalSetToRecord(uint8_t* buffer) { InternalGotoBookmark(GetBookmarkData(buffer)); }

bool TTableDataSet::BookmarkValid(const Bookmark& bookmark) {
  if (!table_) return false;
  std::string_view text(bookmark.data(), bookmark.size());
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  int32_t record = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), record);
  if (text.empty() || res.ec != std::errc() || res.ptr != text.data() + text.size()) return false;
  return record > 0 && record <= table_->record_count();
}

// ---- new records and editing ----

void TTableDataSet::InternalInitRecord(uint8_t* buffer) {
  {
    RecordPointerScope scope(*table_, buffer);
    table_->Blank();
  }
  SetBufferRecordNumber(buffer, 0);
  FillBookmark(buffer, 0);
}

void TTableDataSet::InternalInsert() {
  table_->Unlock();
  edit_locked_ = false;
}

void TTableDataSet::DoAfterInsert() {
  table_->MarkAtEnd();
  DataSet::DoAfterInsert();
}

void TTableDataSet::InternalEdit() {
  uint8_t* buffer = ActiveBuffer();
  const int32_t record = BufferRecordNumber(buffer);
  if (record < 1) throw DatabaseError(std::string(msg::kRecordNotFound));
  RecordPointerScope scope(*table_, buffer);
  table_->GetRecord(record);
  if (table_->record_number() != record || table_->eof() || table_->bof()) {
    throw DatabaseError(std::string(msg::kRecordNotFound));
  }
  if (!table_->LockRecord()) throw DatabaseError(std::string(msg::kRecordLocked));
  edit_locked_ = true;
  // Read again under the lock, from the file rather than the read-ahead buffer, so that the edit
  // starts from what another user may just have written.
  FreshRead(record);
}

void TTableDataSet::FreshRead(int32_t record) {
  table_->ReReadHeader();
  const bool read_ahead = table_->read_ahead();
  if (read_ahead) table_->SetReadAhead(false);
  try {
    table_->GetRecord(record);
  } catch (...) {
    if (read_ahead) table_->SetReadAhead(true);
    throw;
  }
  if (read_ahead) table_->SetReadAhead(true);
}

void TTableDataSet::InternalRefresh() {
  // Records buffered ahead may be older than the file: start afresh.
  if (table_->read_ahead()) {
    table_->SetReadAhead(false);
    table_->SetReadAhead(true);
  }
  table_->ReReadHeader();
}

void TTableDataSet::InternalPost() {
  uint8_t* buffer = ActiveBuffer();
  {
    RecordPointerScope scope(*table_, buffer);
    if (State() == DataSetState::kEdit) {
      // The record this buffer was read from, which is where the handler stands after Edit.
      table_->PutRecord(BufferRecordNumber(buffer));
    } else {
      table_->Append();
    }
  }
  table_->Unlock();
  edit_locked_ = false;
  pending_first_ = pending_last_ = false;
}

void TTableDataSet::InternalAddRecord(uint8_t* buffer, bool) {
  {
    RecordPointerScope scope(*table_, buffer);
    table_->Append();
  }
  table_->Unlock();
  edit_locked_ = false;
  pending_first_ = pending_last_ = false;
}

void TTableDataSet::InternalCancel() {
  uint8_t* buffer = ActiveBuffer();
  const int32_t record = BufferRecordNumber(buffer);
  if (record > 0) {
    RecordPointerScope scope(*table_, buffer);
    table_->GetRecord(record);
  }
  table_->RebuildFilter();
  // An edit that is given up releases its record lock, or the record stayed locked against
  // every other user (and against our own next edit) until the next post.
  if (edit_locked_) {
    table_->Unlock();
    edit_locked_ = false;
  }
}

void TTableDataSet::InternalDelete() {
  uint8_t* buffer = ActiveBuffer();
  const int32_t record = BufferRecordNumber(buffer);
  if (record < 1) throw DatabaseError(std::string(msg::kCannotDelete));
  table_->set_use_deleted(true);
  try {
    RecordPointerScope scope(*table_, buffer);
    // From the file: the mark is written with the rest of the record image.
    FreshRead(record);
    // The record must still be there: deleting elsewhere would mark or add the wrong one.
    if (table_->record_number() != record || table_->eof() || table_->bof()) {
      throw DatabaseError(std::string(msg::kCannotDelete));
    }
    table_->Delete();
  } catch (...) {
    table_->set_use_deleted(use_deleted_);
    throw;
  }
  table_->set_use_deleted(use_deleted_);
  // Deleting the record being edited ends that edit, and with it the edit's lock.
  if (edit_locked_) {
    table_->Unlock();
    edit_locked_ = false;
  }
  table_->GetRecord(dbase::kReread);
  if (table_->eof()) {
    table_->GetRecord(dbase::kPrevious);
    table_->SetEofFlag(true);
  }
}

// ---- field values ----

bool TTableDataSet::GetFieldData(const Field& field, Variant& out) {
  uint8_t* buffer = ActiveRecBuf();
  if (!buffer || !table_) return false;
  if (field.Calculated()) {
    if (State() == DataSetState::kFilter) return false;
    return ReadCalcValue(buffer + layout_.calc, field, out);
  }
  const int n = TableFieldNumber(field);
  if (n == 0) return false;
  RecordPointerScope scope(*table_, State() == DataSetState::kFilter ? nullptr : buffer);
  switch (field.DataType()) {
    case FieldType::kString: {
      std::string text = table_->StringGet(n);
      if (text.empty()) return false;
      out = Variant(FromTable(text));
      return true;
    }
    case FieldType::kSmallInt:
    case FieldType::kInteger:
    case FieldType::kLargeInt:
      out = Variant(NearestInteger(table_->NumberGet(n)));
      return true;
    case FieldType::kBoolean:
      out = Variant(table_->LogicGet(n));
      return true;
    case FieldType::kFloat:
    case FieldType::kCurrency:
      out = Variant(static_cast<double>(table_->NumberGet(n)));
      return true;
    case FieldType::kDate: {
      std::string raw = table_->FieldGet(n);
      while (!raw.empty() && raw.back() == ' ') raw.pop_back();
      if (raw.size() != 8 || raw == "00000000") return false;
      std::optional<int64_t> year = ParseInteger(raw.substr(0, 4));
      std::optional<int64_t> month = ParseInteger(raw.substr(4, 2));
      std::optional<int64_t> day = ParseInteger(raw.substr(6, 2));
      if (!year || !month || !day) return false;
      std::optional<DateTime> date =
          EncodeDate(static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day));
      if (!date) return false;
      out = Variant(*date);
      return true;
    }
    case FieldType::kDateTime: {
      long double ms = table_->NumberGet(n);
      if (ms == 0) return false;
      out = Variant(FromTimeStampMs(ms));
      return true;
    }
    case FieldType::kMemo:
    case FieldType::kBlob: {
      int64_t block = NearestInteger(table_->NumberGet(n));
      if (block == 0) return false;
      out = Variant(block);
      return true;
    }
    case FieldType::kUnknown:
      break;
  }
  return false;
}

void TTableDataSet::SetFieldData(Field& field, const Variant& value) {
  const DataSetState state = State();
  if (state != DataSetState::kEdit && state != DataSetState::kInsert && state != DataSetState::kSetKey &&
      state != DataSetState::kCalcFields && state != DataSetState::kFilter && state != DataSetState::kNewValue &&
      state != DataSetState::kInternalCalc) {
    throw DatabaseError(std::string(msg::kNotEditing));
  }
  if (state == DataSetState::kSetKey && !IsIndexField(field)) {
    throw DatabaseError::Make(msg::kNotIndexField, field.FieldName());
  }
  uint8_t* buffer = ActiveRecBuf();
  if (!buffer) throw DatabaseError(std::string(msg::kNotEditing));
  if (!field.Calculated()) {
    if (state == DataSetState::kCalcFields) throw DatabaseError(std::string(msg::kNotEditing));
    if (field.ReadOnly() && state != DataSetState::kSetKey && state != DataSetState::kFilter) {
      throw DatabaseError::Make(msg::kFieldReadOnly, field.FieldName());
    }
    field.Validate(value);
    const int n = TableFieldNumber(field);
    if (n == 0) throw DatabaseError::Make(msg::kFieldNotFound, field.FieldName());
    RecordPointerScope scope(*table_, state == DataSetState::kFilter ? nullptr : buffer);
    switch (field.DataType()) {
      case FieldType::kString:
        table_->StringPut(n, ToTable(value.IsNull() ? std::string() : value.ToText()));
        break;
      case FieldType::kSmallInt:
      case FieldType::kInteger:
      case FieldType::kLargeInt:
        table_->NumberPut(n, value.kind() == Variant::Kind::kInteger ? static_cast<long double>(value.integer()) : 0);
        break;
      case FieldType::kFloat:
      case FieldType::kCurrency:
        table_->NumberPut(n, value.kind() == Variant::Kind::kFloat ? static_cast<long double>(value.number()) : 0);
        break;
      case FieldType::kDateTime:
        table_->NumberPut(n, value.kind() == Variant::Kind::kDateTime ? ToTimeStampMs(value.date_time()) : 0);
        break;
      case FieldType::kBoolean:
        table_->LogicPut(n, value.kind() == Variant::Kind::kBoolean && value.boolean());
        break;
      case FieldType::kDate: {
        std::string text(8, ' ');
        int y = 0, m = 0, d = 0;
        if (value.kind() == Variant::Kind::kDateTime && DecodeDate(value.date_time(), y, m, d)) {
          char buf[16];
          std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
          text = buf;
        }
        table_->FieldPut(n, text);
        break;
      }
      case FieldType::kMemo:
      case FieldType::kBlob:
        table_->MemoWrite(n, value.kind() == Variant::Kind::kText ? ToTable(value.text()) : std::string());
        break;
      case FieldType::kUnknown:
        break;
    }
  } else {
    if (state == DataSetState::kFilter) throw DatabaseError(std::string(msg::kNotEditing));
    WriteCalcValue(buffer + layout_.calc, field, value);
  }
  if (state != DataSetState::kSetKey && state != DataSetState::kCalcFields && state != DataSetState::kFilter &&
      state != DataSetState::kNewValue) {
    DataEvent(DataEventKind::kFieldChange, &field);
  }
}

}  // namespace quarvel
