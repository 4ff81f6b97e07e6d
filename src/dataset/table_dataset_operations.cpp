// TTableDataSet: record count and number, the whole-table operations with their busy states,
// recall, locate and lookup, and memo access for blob streams.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dataset/blob_stream.h"
#include "dataset/database_error.h"
#include "dataset/date_time.h"
#include "dataset/table_dataset.h"
#include "dbf/errors.h"
#include "platform/name_list.h"

namespace quarvel {

// ---- counting and numbering ----

int32_t TTableDataSet::RecordCount() {
  CheckActive();
  if (!exact_count_) {
    // Another program sharing the table may have added records since the header was read.
    table_->ReReadHeader();
    return table_->record_count();
  }
  const int32_t remembered = table_->record_number();
  int32_t count = 0;
  for (table_->GetRecord(dbase::kFirst); !table_->eof() && !table_->bof(); table_->GetRecord(dbase::kNext)) ++count;
  if (remembered > 0 && remembered <= table_->record_count()) table_->GetRecord(remembered);
  return count;
}

int32_t TTableDataSet::RecNo() const {
  const uint8_t* buffer = const_cast<TTableDataSet*>(this)->ActiveRecBuf();
  if (!buffer || State() == DataSetState::kFilter || State() == DataSetState::kSetKey) {
    return State() == DataSetState::kFilter && table_ ? table_->record_number() : 0;
  }
  return BufferRecordNumber(buffer);
}

void TTableDataSet::SetRecNo(int32_t record) {
  CheckBrowseMode();
  table_->ReReadHeader();
  if (record < 1 || record > table_->record_count()) throw DatabaseError(std::string(msg::kRecordBeyondRange));
  DoBeforeScroll();
  table_->GetRecord(record);
  pending_first_ = pending_last_ = false;
  Resync(ResyncMode{false, true});
  DoAfterScroll();
}

bool TTableDataSet::IsSequenced() const { return (!table_ || !table_->current_tag()) && !Filtered(); }

// ---- whole-table operations ----

void TTableDataSet::RunBusy(BusyState state, const std::function<void()>& body) {
  CheckBrowseMode();
  busy_ = state;
  DisableControls();
  try {
    body();
  } catch (...) {
    busy_ = BusyState::kIdle;
    EnableControls();
    try {
      First();
    } catch (...) {
      // The operation's own failure is the one to report.
    }
    throw;
  }
  busy_ = BusyState::kIdle;
  EnableControls();
  First();
}

void TTableDataSet::CopyFile(const std::string& target, const std::string& password) {
  RunBusy(BusyState::kCopying, [&] { table_->CopyFile(target, password); });
}

void TTableDataSet::SortFile(const std::string& target, const std::string& password, int sequence,
                             const std::string& key) {
  RunBusy(BusyState::kCopying, [&] { table_->SortFile(target, password, sequence, key); });
  CheckBrowseMode();
}

void TTableDataSet::Zap() {
  CheckBrowseMode();
  table_->Zap();
  First();
}

void TTableDataSet::Reindex() {
  RunBusy(BusyState::kBuildingIndex, [&] { table_->RebuildIndexes(); });
}

void TTableDataSet::Recall() {
  CheckBrowseMode();
  if (IsEmpty()) throw DatabaseError(std::string(msg::kDataSetEmpty));
  uint8_t* buffer = ActiveBuffer();
  const int32_t record = BufferRecordNumber(buffer);
  if (record < 1) throw DatabaseError(std::string(msg::kCannotRecall));
  table_->set_use_deleted(true);
  try {
    RecordPointerScope scope(*table_, buffer);
    FreshRead(record);
    if (table_->record_number() != record || table_->eof() || table_->bof()) {
      throw DatabaseError(std::string(msg::kCannotRecall));
    }
    table_->Undelete();
  } catch (...) {
    table_->set_use_deleted(use_deleted_);
    throw;
  }
  table_->set_use_deleted(use_deleted_);
  CursorPosChanged();
  Resync(ResyncMode{});
}

// ---- searching ----

std::string TTableDataSet::LocateText(const Variant& value) const {
  switch (value.kind()) {
    case Variant::Kind::kNull:
      return "";
    case Variant::Kind::kBoolean:
      return value.boolean() ? "T" : "F";
    case Variant::Kind::kDateTime: {
      // The stored form: unambiguous whatever the short date format.
      int y = 0, m = 0, d = 0;
      if (!DecodeDate(value.date_time(), y, m, d)) return "";
      char buf[16];
      std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
      return buf;
    }
    default:
      return ToTable(value.ToText());
  }
}

bool TTableDataSet::Locate(const std::string& fields, const std::vector<Variant>& values, LocateOptions options) {
  CheckBrowseMode();
  DoBeforeScroll();
  std::vector<std::string> texts;
  for (const Variant& v : values) texts.push_back(LocateText(v));
  CursorPosChanged();
  bool found = false;
  try {
    found = table_->Locate(fields, texts, options.partial_key, options.case_insensitive);
  } catch (...) {
    UpdateCursorPos();
    throw;
  }
  if (!found) {
    // Back to the record the dataset shows.
    UpdateCursorPos();
    return false;
  }
  pending_first_ = pending_last_ = false;
  Resync(ResyncMode{true, true});
  DoAfterScroll();
  return true;
}

std::vector<Variant> TTableDataSet::Lookup(const std::string& key_fields, const std::vector<Variant>& values,
                                           const std::string& result_fields) {
  CheckBrowseMode();
  std::vector<std::string> texts;
  for (const Variant& v : values) texts.push_back(LocateText(v));
  CursorPosChanged();
  std::vector<Variant> result;
  try {
    if (table_->Locate(key_fields, texts, false, false)) {
      uint8_t* buffer = TempBuffer();
      std::memcpy(buffer, table_->record(), static_cast<size_t>(table_->record_length()) + 1);
      SetBufferRecordNumber(buffer, table_->record_number());
      SetBookmarkFlag(buffer, BookmarkFlag::kCurrent);
      FillBookmark(buffer, table_->record_number());
      ReadThroughCalcBuffer(buffer, [&] {
        for (const std::string& name : dbase::platform::SplitNameList(result_fields)) {
          result.push_back(FieldByName(name).Value());
        }
      });
    }
  } catch (...) {
    UpdateCursorPos();
    throw;
  }
  UpdateCursorPos();
  return result;
}

// ---- memos ----

std::unique_ptr<BlobStream> TTableDataSet::CreateBlobStream(Field& field, BlobMode mode) {
  if (field.DataType() != FieldType::kMemo && field.DataType() != FieldType::kBlob) {
    throw DatabaseError::Make(msg::kNotBlobField, field.FieldName());
  }
  return std::make_unique<TBlobStream>(*this, field, mode);
}

std::string TTableDataSet::ReadMemo(const Field& field) {
  uint8_t* buffer = ActiveRecBuf();
  const int n = TableFieldNumber(field);
  if (!buffer || !table_ || n == 0) return "";
  RecordPointerScope scope(*table_, State() == DataSetState::kFilter ? nullptr : buffer);
  if (table_->MemoSize(n) <= 0) return "";
  std::string text = table_->MemoRead(n);
  return field.DataType() == FieldType::kMemo ? FromTable(text) : text;
}

void TTableDataSet::WriteMemo(Field& field, const std::string& text) {
  uint8_t* buffer = ActiveRecBuf();
  const int n = TableFieldNumber(field);
  if (!buffer || !table_ || n == 0) throw DatabaseError(std::string(msg::kNotEditing));
  {
    RecordPointerScope scope(*table_, buffer);
    table_->MemoWrite(n, field.DataType() == FieldType::kMemo ? ToTable(text) : text);
  }
  DataEvent(DataEventKind::kFieldChange, &field);
}

}  // namespace quarvel
