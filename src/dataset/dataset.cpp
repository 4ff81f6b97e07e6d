// DataSet: lifecycle, state, fields, calculated fields, bookmarks and data events.
#include "dataset/dataset.h"

#include <algorithm>

#include "dataset/calc_area.h"
#include "dataset/data_source.h"
#include "dataset/database_error.h"
#include "platform/name_list.h"

namespace quarvel {

DataSet::DataSet() = default;

DataSet::~DataSet() {
  // Sources outlive nothing here: detach them so they do not call back into a dead dataset.
  std::vector<DataSource*> sources = sources_;
  for (DataSource* s : sources) {
    s->dataset_ = nullptr;
    s->NotifyActiveChanged();
  }
  sources_.clear();
}

// ---- state and lifecycle ----

void DataSet::CheckActive() const {
  if (!Active()) throw DatabaseError(std::string(msg::kDataSetClosed));
}

void DataSet::CheckInactive() const {
  if (Active()) throw DatabaseError(std::string(msg::kDataSetOpen));
}

void DataSet::SetActive(bool on) {
  if (on == Active()) return;
  if (on) {
    Fire(BeforeOpen);
    try {
      InternalOpen();
      int wanted = 1;
      for (DataSource* s : sources_) wanted = std::max(wanted, s->MaxBufferCount());
      AllocateBuffers(wanted);
      ClearBuffers();
      // Followers hear of the new state once the first records are in the ring.
      state_ = DataSetState::kBrowse;
      modified_ = false;
      InternalFirst();
      GetNextRecord();
      GetNextRecords();
      bof_ = true;
    } catch (...) {
      state_ = DataSetState::kInactive;
      CloseCursor();
      throw;
    }
    DataEvent(DataEventKind::kUpdateState);
    for (DataSource* s : std::vector<DataSource*>(sources_)) s->NotifyActiveChanged();
    Fire(AfterOpen);
  } else {
    Fire(BeforeClose);
    SetState(DataSetState::kInactive);
    CloseCursor();
    for (DataSource* s : std::vector<DataSource*>(sources_)) s->NotifyActiveChanged();
    Fire(AfterClose);
  }
}

void DataSet::CloseCursor() {
  try {
    InternalClose();
  } catch (...) {
    FreeBuffers();
    throw;
  }
  FreeBuffers();
}

void DataSet::SetState(DataSetState state) {
  if (state_ == state) return;
  state_ = state;
  modified_ = false;
  if (state == DataSetState::kBrowse && buffer_count_pending_) UpdateBufferCount();
  DataEvent(DataEventKind::kUpdateState);
}

DataSetState DataSet::SetTempState(DataSetState state) {
  DataSetState old = state_;
  state_ = state;
  ++temp_state_depth_;
  return old;
}

void DataSet::RestoreState(DataSetState state) {
  state_ = state;
  if (temp_state_depth_ > 0) --temp_state_depth_;
}

// ---- fields ----

Field& DataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) throw DatabaseError::Make(msg::kFieldNotFound, std::to_string(index));
  return *fields_[static_cast<size_t>(index)];
}

Field* DataSet::FindField(std::string_view name) const {
  for (const auto& f : fields_) {
    if (SameName(f->FieldName(), name)) return f.get();
  }
  return nullptr;
}

Field& DataSet::FieldByName(std::string_view name) const {
  Field* f = FindField(name);
  if (!f) throw DatabaseError::Make(msg::kFieldNotFound, std::string(name));
  return *f;
}

Field& DataSet::AddCalculatedField(std::string name, FieldType type, int size) {
  CheckInactive();
  if (FindField(name)) throw DatabaseError::Make(msg::kDuplicateField, name);
  if (type == FieldType::kMemo || type == FieldType::kBlob || type == FieldType::kUnknown) {
    throw DatabaseError::Make(msg::kNoCalcType, name);
  }
  if (type == FieldType::kString && size <= 0) size = 20;
  std::unique_ptr<Field> f = MakeField(*this, std::move(name), type, size, FieldKind::kCalculated);
  f->persistent_ = true;
  fields_.push_back(std::move(f));
  return *fields_.back();
}

Field& DataSet::AddLookupField(std::string name, FieldType type, int size, Field::LookupDef lookup) {
  Field& f = AddCalculatedField(std::move(name), type, size);
  f.kind_ = FieldKind::kLookup;
  f.lookup_ = std::move(lookup);
  return f;
}

void DataSet::CreateDefaultFields() {
  // Default data fields come first, in storage order, ahead of the persistent ones.
  std::vector<std::unique_ptr<Field>> made;
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const FieldDef& d = field_defs_[i];
    if (FindField(d.name)) continue;
    std::unique_ptr<Field> f = MakeField(*this, d.name, d.type, d.size, FieldKind::kData);
    if (f) made.push_back(std::move(f));
  }
  for (auto& f : fields_) made.push_back(std::move(f));
  fields_ = std::move(made);
}

void DataSet::DestroyDefaultFields() {
  std::erase_if(fields_, [](const std::unique_ptr<Field>& f) { return !f->persistent_; });
}

void DataSet::BindFields(bool binding) {
  calc_fields_size_ = 0;
  for (auto& f : fields_) {
    if (!binding) {
      f->field_no_ = 0;
      continue;
    }
    if (f->Calculated()) {
      f->calc_offset_ = calc_fields_size_;
      calc_fields_size_ += CalcSlotSize(*f);
    } else {
      const FieldDef* d = field_defs_.Find(f->FieldName());
      f->field_no_ = d ? d->field_no : 0;
    }
  }
}

void DataSet::GetCalcFields(uint8_t* buffer) {
  if (calc_fields_size_ == 0) return;
  DataSetState saved = SetTempState(DataSetState::kCalcFields);
  bool saved_modified = modified_;
  uint8_t* saved_buffer = calc_buffer_;
  calc_buffer_ = buffer;
  try {
    ClearCalcFields(buffer);
    CalculateFields(buffer);
  } catch (...) {
    calc_buffer_ = saved_buffer;
    modified_ = saved_modified;
    RestoreState(saved);
    throw;
  }
  calc_buffer_ = saved_buffer;
  modified_ = saved_modified;
  RestoreState(saved);
}

void DataSet::ReadThroughCalcBuffer(uint8_t* buffer, const std::function<void()>& body) {
  DataSetState saved = SetTempState(DataSetState::kCalcFields);
  bool saved_modified = modified_;
  uint8_t* saved_buffer = calc_buffer_;
  calc_buffer_ = buffer;
  auto restore = [&] {
    calc_buffer_ = saved_buffer;
    modified_ = saved_modified;
    RestoreState(saved);
  };
  try {
    if (calc_fields_size_ > 0) {
      ClearCalcFields(buffer);
      CalculateFields(buffer);
    }
    body();
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

void DataSet::CalculateFields(uint8_t*) {
  for (auto& f : fields_) {
    if (f->Kind() != FieldKind::kLookup) continue;
    const Field::LookupDef& l = f->lookup();
    if (!l.dataset || !l.dataset->Active() || l.dataset == this) continue;
    std::vector<Variant> keys;
    bool complete = true;
    for (const std::string& name : dbase::platform::SplitNameList(l.key_fields)) {
      Variant v = FieldByName(name).Value();
      complete = complete && !v.IsNull();
      keys.push_back(std::move(v));
    }
    if (!complete || keys.empty()) continue;
    std::vector<Variant> result = l.dataset->Lookup(l.lookup_key_fields, keys, l.result_field);
    if (!result.empty()) f->SetValue(result.front());
  }
  Fire(OnCalcFields);
}

// ---- bookmarks ----

Bookmark DataSet::GetBookmark() const {
  bool available = (state_ == DataSetState::kBrowse || state_ == DataSetState::kEdit ||
                    state_ == DataSetState::kInsert) &&
                   !IsEmpty() && GetBookmarkFlag(ActiveBuffer()) == BookmarkFlag::kCurrent;
  return available ? GetBookmarkData(ActiveBuffer()) : Bookmark();
}

void DataSet::GotoBookmark(const Bookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(bookmark);
  Resync(ResyncMode{true, true});
  DoAfterScroll();
}

bool DataSet::BookmarkValid(const Bookmark&) { return false; }

int DataSet::CompareBookmarks(const Bookmark& a, const Bookmark& b) const {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int32_t DataSet::RecordCount() {
  CheckActive();
  return -1;
}

bool DataSet::Locate(const std::string&, const std::vector<Variant>&, LocateOptions) {
  throw DatabaseError(std::string(msg::kNotSupported));
}

std::vector<Variant> DataSet::Lookup(const std::string&, const std::vector<Variant>&, const std::string&) {
  throw DatabaseError(std::string(msg::kNotSupported));
}

std::unique_ptr<BlobStream> DataSet::CreateBlobStream(Field& field, BlobMode) {
  throw DatabaseError::Make(msg::kNotBlobField, field.FieldName());
}

// ---- events ----

void DataSet::DoAfterInsert() { Fire(AfterInsert); }
void DataSet::DoAfterPost() { Fire(AfterPost); }
void DataSet::DoBeforeScroll() { Fire(BeforeScroll); }
void DataSet::DoAfterScroll() { Fire(AfterScroll); }

void DataSet::DataEvent(DataEventKind event, const Field* field, int info) {
  switch (event) {
    case DataEventKind::kFieldChange:
      if (field && (field->Kind() == FieldKind::kData || field->Kind() == FieldKind::kInternalCalc)) {
        modified_ = true;
      }
      if (state_ != DataSetState::kSetKey && auto_calc_fields_ && calc_fields_size_ > 0 && !IsEmpty()) {
        GetCalcFields(ActiveBuffer());
      }
      if (field && field->OnChange) field->OnChange(const_cast<Field&>(*field));
      break;
    case DataEventKind::kDataSetChange:
    case DataEventKind::kDataSetScroll:
    case DataEventKind::kLayoutChange:
      if (ControlsDisabled()) {
        if (event == DataEventKind::kLayoutChange) enable_event_ = DataEventKind::kLayoutChange;
        return;
      }
      break;
    case DataEventKind::kUpdateState:
      if (ControlsDisabled()) return;
      break;
    default:
      break;
  }
  if (ControlsDisabled()) return;
  for (DataSource* s : std::vector<DataSource*>(sources_)) s->NotifyDataEvent(event, field, info);
}

void DataSet::DisableControls() {
  if (disable_count_ == 0) {
    disable_state_ = state_;
    enable_event_ = DataEventKind::kDataSetChange;
  }
  ++disable_count_;
}

void DataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ > 0) return;
  if (disable_state_ != state_) DataEvent(DataEventKind::kUpdateState);
  if (disable_state_ != DataSetState::kInactive && state_ != DataSetState::kInactive) DataEvent(enable_event_);
}

bool DataSet::IsLinkedTo(const DataSource* source) const {
  int guard = 0;
  while (source != nullptr && guard++ < 1000) {
    const DataSet* ds = source->dataset();
    if (ds == nullptr) break;
    if (ds == this) return true;
    source = ds->GetDataSource();
  }
  return false;
}

void DataSet::AddSource(DataSource* source) {
  if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) sources_.push_back(source);
  UpdateBufferCount();
}

void DataSet::RemoveSource(DataSource* source) {
  std::erase(sources_, source);
  UpdateBufferCount();
}

void DataSet::UpdateBufferCount() {
  int wanted = 1;
  for (DataSource* s : sources_) wanted = std::max(wanted, s->MaxBufferCount());
  if (!Active()) {
    buffer_count_ = wanted;
    buffer_count_pending_ = false;
    return;
  }
  if (wanted == buffer_count_) {
    buffer_count_pending_ = false;
    return;
  }
  // A record being edited or inserted keeps its slot until the dataset is back in browse state.
  if (state_ != DataSetState::kBrowse) {
    buffer_count_pending_ = true;
    return;
  }
  buffer_count_pending_ = false;
  SetBufferCount(wanted);
}

}  // namespace quarvel
