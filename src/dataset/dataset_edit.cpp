// DataSet: editing. Insert and append open a new record buffer in the ring, edit locks the
// active one, post and cancel end the edit, delete removes the active record. A pending edit is
// posted or dropped by CheckBrowseMode before anything moves.
#include "dataset/database_error.h"
#include "dataset/dataset.h"

namespace quarvel {

namespace {

bool EditModes(DataSetState s) {
  return s == DataSetState::kEdit || s == DataSetState::kInsert || s == DataSetState::kSetKey;
}

}  // namespace

void DataSet::UpdateRecord() {
  if (!EditModes(state_)) throw DatabaseError(std::string(msg::kNotEditing));
  DataEvent(DataEventKind::kUpdateRecord);
}

void DataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(DataEventKind::kCheckBrowseMode);
  switch (state_) {
    case DataSetState::kEdit:
    case DataSetState::kInsert:
      UpdateRecord();
      if (modified_) {
        Post();
      } else {
        Cancel();
      }
      break;
    case DataSetState::kSetKey:
      Post();
      break;
    default:
      break;
  }
}

void DataSet::InitRecord(uint8_t* buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, BookmarkFlag::kInserted);
}

void DataSet::BeginInsertAppend() {
  CheckBrowseMode();
  if (!GetCanModify()) throw DatabaseError(std::string(msg::kDataSetReadOnly));
  Fire(BeforeInsert);
  DoBeforeScroll();
}

void DataSet::EndInsertAppend() {
  SetState(DataSetState::kInsert);
  try {
    Fire(OnNewRecord);
  } catch (...) {
    UpdateCursorPos();
    SetState(DataSetState::kBrowse);
    Resync(ResyncMode{});
    throw;
  }
  modified_ = false;
  DataEvent(DataEventKind::kDataSetChange);
  DoAfterInsert();
  DoAfterScroll();
}

uint8_t* DataSet::OpenInsertBuffer() {
  Bookmark old_current = GetBookmark();
  MoveBuffer(used_, active_record_);
  uint8_t* buffer = ActiveBuffer();
  InitRecord(buffer);
  if (used_ == 0) {
    SetBookmarkFlag(buffer, BookmarkFlag::kBof);
  } else {
    SetBookmarkData(buffer, old_current);
  }
  if (used_ < buffer_count_) ++used_;
  return buffer;
}

uint8_t* DataSet::OpenAppendBuffer() {
  ClearBuffers();
  uint8_t* buffer = BufferAt(0);
  InitRecord(buffer);
  SetBookmarkFlag(buffer, BookmarkFlag::kEof);
  used_ = 1;
  bof_ = false;
  return buffer;
}

void DataSet::Insert() {
  BeginInsertAppend();
  OpenInsertBuffer();
  InternalInsert();
  EndInsertAppend();
}

void DataSet::Append() {
  BeginInsertAppend();
  OpenAppendBuffer();
  GetPriorRecords();
  InternalLast();
  EndInsertAppend();
}

void DataSet::Edit() {
  if (state_ == DataSetState::kEdit || state_ == DataSetState::kInsert) return;
  if (used_ == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  if (!GetCanModify()) throw DatabaseError(std::string(msg::kDataSetReadOnly));
  Fire(BeforeEdit);
  UpdateCursorPos();
  InternalEdit();
  GetCalcFields(ActiveBuffer());
  SetState(DataSetState::kEdit);
  DataEvent(DataEventKind::kRecordChange);
  Fire(AfterEdit);
}

void DataSet::Post() {
  UpdateRecord();
  if (state_ == DataSetState::kSetKey) {
    // The key buffer is filled: back to browsing, where the key is used.
    SetState(DataSetState::kBrowse);
    return;
  }
  if (state_ != DataSetState::kEdit && state_ != DataSetState::kInsert) return;
  DataEvent(DataEventKind::kCheckBrowseMode);
  Fire(BeforePost);
  InternalPost();
  SetState(DataSetState::kBrowse);
  Resync(ResyncMode{});
  DoAfterPost();
}

void DataSet::Cancel() {
  if (state_ == DataSetState::kSetKey) {
    SetState(DataSetState::kBrowse);
    DataEvent(DataEventKind::kDataSetChange);
    return;
  }
  if (state_ != DataSetState::kEdit && state_ != DataSetState::kInsert) return;
  DataEvent(DataEventKind::kCheckBrowseMode);
  Fire(BeforeCancel);
  bool scroll_events = state_ == DataSetState::kInsert;
  if (scroll_events) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  SetState(DataSetState::kBrowse);
  Resync(ResyncMode{});
  Fire(AfterCancel);
  if (scroll_events) DoAfterScroll();
}

void DataSet::Delete() {
  CheckActive();
  if (state_ == DataSetState::kInsert || state_ == DataSetState::kSetKey) {
    Cancel();
    return;
  }
  if (used_ == 0) throw DatabaseError(std::string(msg::kDataSetEmpty));
  DataEvent(DataEventKind::kCheckBrowseMode);
  Fire(BeforeDelete);
  DoBeforeScroll();
  // Storage deletes where it stands: make that the record the user sees.
  UpdateCursorPos();
  InternalDelete();
  SetState(DataSetState::kBrowse);
  Resync(ResyncMode{});
  Fire(AfterDelete);
  DoAfterScroll();
}

void DataSet::AddRecord(const std::vector<Variant>& values, bool append) {
  BeginInsertAppend();
  uint8_t* buffer = append ? OpenAppendBuffer() : OpenInsertBuffer();
  SetState(DataSetState::kInsert);
  try {
    Fire(OnNewRecord);
    for (size_t i = 0; i < values.size() && i < fields_.size(); ++i) {
      if (!fields_[i]->Calculated() && !values[i].IsNull()) fields_[i]->SetValue(values[i]);
    }
    Fire(BeforePost);
    InternalAddRecord(buffer, append);
  } catch (...) {
    CursorPosChanged();
    SetState(DataSetState::kBrowse);
    Resync(ResyncMode{});
    throw;
  }
  CursorPosChanged();
  SetState(DataSetState::kBrowse);
  Resync(ResyncMode{});
  DoAfterPost();
  DoAfterScroll();
}

void DataSet::InsertRecord(const std::vector<Variant>& values) { AddRecord(values, false); }
void DataSet::AppendRecord(const std::vector<Variant>& values) { AddRecord(values, true); }

}  // namespace quarvel
