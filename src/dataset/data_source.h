// DataSource and DataLink: how data-aware parts (views, master/detail links) follow a dataset.
// A dataset tells each of its sources about state changes, scrolls and field changes; each
// source passes them on to its links. A link may ask the dataset to keep several records in its
// buffer ring (its buffer count).
#pragma once

#include <functional>
#include <vector>

#include "dataset/dataset_types.h"

namespace quarvel {

class DataSet;
class DataSource;
class Field;

class DataLink {
 public:
  DataLink() = default;
  virtual ~DataLink();
  DataLink(const DataLink&) = delete;
  DataLink& operator=(const DataLink&) = delete;

  void SetDataSource(DataSource* source);
  DataSource* data_source() const { return source_; }
  DataSet* dataset() const;
  // The source is attached to an open dataset.
  bool Active() const { return active_; }

  // How many records the link wants the dataset to keep in its buffer ring.
  int BufferCount() const { return buffer_count_; }
  void SetBufferCount(int count);

 protected:
  virtual void ActiveChanged() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int) { DataSetChanged(); }
  virtual void RecordChanged(const Field*) {}
  virtual void EditingChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void UpdateData() {}
  virtual void LayoutChanged() { DataSetChanged(); }

 private:
  friend class DataSource;
  void Deliver(DataEventKind event, const Field* field, int info);
  void UpdateActive();

  DataSource* source_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
  int buffer_count_ = 1;
};

class DataSource {
 public:
  explicit DataSource(DataSet* dataset = nullptr);
  ~DataSource();
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;

  DataSet* dataset() const { return dataset_; }
  // Raises "Circular datalinks are not allowed" when `dataset` is (through its masters) a
  // detail of this source.
  void SetDataSet(DataSet* dataset);
  DataSetState State() const;
  bool enabled() const { return enabled_; }
  void SetEnabled(bool on);
  // Whether `dataset`'s chain of master sources reaches this source.
  bool IsLinkedTo(const DataSet* dataset) const;

  std::function<void(DataSource&, const Field*)> OnDataChange;
  std::function<void(DataSource&)> OnStateChange;

 private:
  friend class DataLink;
  friend class DataSet;
  void AddLink(DataLink* link);
  void RemoveLink(DataLink* link);
  // From the dataset.
  void NotifyDataEvent(DataEventKind event, const Field* field, int info);
  void NotifyActiveChanged();
  int MaxBufferCount() const;

  DataSet* dataset_ = nullptr;
  bool enabled_ = true;
  DataSetState last_state_ = DataSetState::kInactive;
  std::vector<DataLink*> links_;
};

}  // namespace quarvel
