// DataSource and DataLink: passing the dataset's events on to its followers.
#include "dataset/data_source.h"

#include <algorithm>

#include "dataset/database_error.h"
#include "dataset/dataset.h"

namespace quarvel {

// ---- DataLink ----

DataLink::~DataLink() { SetDataSource(nullptr); }

void DataLink::SetDataSource(DataSource* source) {
  if (source == source_) return;
  if (source_) source_->RemoveLink(this);
  source_ = source;
  if (source_) source_->AddLink(this);
  UpdateActive();
}

DataSet* DataLink::dataset() const { return source_ ? source_->dataset() : nullptr; }

void DataLink::SetBufferCount(int count) {
  if (count < 1) count = 1;
  if (count == buffer_count_) return;
  buffer_count_ = count;
  if (DataSet* ds = dataset()) ds->UpdateBufferCount();
}

void DataLink::UpdateActive() {
  bool now = source_ && source_->enabled() && source_->dataset() && source_->dataset()->Active();
  if (now == active_) return;
  active_ = now;
  ActiveChanged();
}

void DataLink::Deliver(DataEventKind event, const Field* field, int info) {
  switch (event) {
    case DataEventKind::kFieldChange:
    case DataEventKind::kRecordChange:
      RecordChanged(field);
      break;
    case DataEventKind::kDataSetChange:
      DataSetChanged();
      break;
    case DataEventKind::kDataSetScroll:
      DataSetScrolled(info);
      break;
    case DataEventKind::kLayoutChange:
      LayoutChanged();
      break;
    case DataEventKind::kUpdateRecord:
      UpdateData();
      break;
    case DataEventKind::kUpdateState: {
      UpdateActive();
      DataSet* ds = dataset();
      bool editing = ds && (ds->State() == DataSetState::kEdit || ds->State() == DataSetState::kInsert);
      if (editing != editing_) {
        editing_ = editing;
        EditingChanged();
      }
      break;
    }
    case DataEventKind::kCheckBrowseMode:
      CheckBrowseMode();
      break;
  }
}

// ---- DataSource ----

DataSource::DataSource(DataSet* dataset) { SetDataSet(dataset); }

DataSource::~DataSource() {
  std::vector<DataLink*> links = links_;
  for (DataLink* l : links) l->SetDataSource(nullptr);
  if (dataset_) dataset_->RemoveSource(this);
}

bool DataSource::IsLinkedTo(const DataSet* dataset) const {
  int guard = 0;
  while (dataset != nullptr && guard++ < 1000) {
    const DataSource* source = dataset->GetDataSource();
    if (source == nullptr) break;
    if (source == this) return true;
    dataset = source->dataset();
  }
  return false;
}

void DataSource::SetDataSet(DataSet* dataset) {
  if (dataset == dataset_) return;
  if (IsLinkedTo(dataset)) throw DatabaseError(std::string(msg::kCircularLink));
  if (dataset_) dataset_->RemoveSource(this);
  dataset_ = dataset;
  if (dataset_) dataset_->AddSource(this);
  NotifyActiveChanged();
}

DataSetState DataSource::State() const {
  return dataset_ && enabled_ ? dataset_->State() : DataSetState::kInactive;
}

void DataSource::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  NotifyActiveChanged();
}

void DataSource::AddLink(DataLink* link) {
  links_.push_back(link);
  if (dataset_) dataset_->UpdateBufferCount();
}

void DataSource::RemoveLink(DataLink* link) {
  std::erase(links_, link);
  if (dataset_) dataset_->UpdateBufferCount();
}

int DataSource::MaxBufferCount() const {
  int n = 1;
  for (const DataLink* l : links_) n = std::max(n, l->BufferCount());
  return n;
}

void DataSource::NotifyActiveChanged() {
  for (DataLink* l : std::vector<DataLink*>(links_)) l->UpdateActive();
  DataSetState now = State();
  if (now != last_state_) {
    last_state_ = now;
    if (OnStateChange) OnStateChange(*this);
  }
}

void DataSource::NotifyDataEvent(DataEventKind event, const Field* field, int info) {
  if (!enabled_) return;
  if (event == DataEventKind::kUpdateState) {
    DataSetState now = State();
    if (now != last_state_) {
      last_state_ = now;
      if (OnStateChange) OnStateChange(*this);
    }
  }
  for (DataLink* l : std::vector<DataLink*>(links_)) {
    // A link removed by an earlier link's reaction gets nothing more.
    if (std::find(links_.begin(), links_.end(), l) != links_.end()) l->Deliver(event, field, info);
  }
  if (OnDataChange && (event == DataEventKind::kFieldChange || event == DataEventKind::kRecordChange ||
                       event == DataEventKind::kDataSetChange || event == DataEventKind::kDataSetScroll)) {
    OnDataChange(*this, field);
  }
}

}  // namespace quarvel
