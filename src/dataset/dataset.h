// DataSet: the generic dataset framework. It keeps the state (inactive, browse, edit, insert,
// set-key, calc-fields, filter, new-value, internal-calc), the field objects, a ring of record
// buffers with the active record in it, bookmarks, scroll notifications and data events, and
// runs navigation and editing. What a record is and where it comes from is left to a subclass,
// through the storage hooks below (fetch a record into a buffer, initialise, post, delete ...).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/blob.h"
#include "dataset/dataset_types.h"
#include "dataset/field.h"
#include "dataset/field_defs.h"
#include "dataset/variant.h"

namespace quarvel {

class DataSource;

class DataSet {
 public:
  DataSet();
  virtual ~DataSet();
  DataSet(const DataSet&) = delete;
  DataSet& operator=(const DataSet&) = delete;

  // ---- state and lifecycle ----
  DataSetState State() const { return state_; }
  bool Active() const { return state_ != DataSetState::kInactive; }
  void SetActive(bool on);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  // "Cannot perform this operation on a closed dataset" unless open.
  virtual void CheckActive() const;
  // "Cannot perform this operation on an open dataset" unless closed.
  void CheckInactive() const;

  // ---- navigation ----
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves by `distance` records; the number actually moved.
  int MoveBy(int distance);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return used_ == 0; }
  // Re-reads the records of the ring from storage.
  void Refresh();
  void Resync(ResyncMode mode);

  // ---- editing ----
  void Insert();
  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  // Posts a pending edit or insert when a field was set, drops it otherwise.
  void CheckBrowseMode();
  // The add-record path: a new record filled with `values` (in field order) is stored at once.
  void InsertRecord(const std::vector<Variant>& values);
  void AppendRecord(const std::vector<Variant>& values);
  bool Modified() const { return modified_; }
  bool CanModify() const { return GetCanModify(); }
  // Asks the data links to put what they hold into the fields.
  void UpdateRecord();

  // ---- fields ----
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // From 0, in field order.
  Field& Fields(int index) const;
  Field* FindField(std::string_view name) const;
  // "Field '%s' not found" when there is none.
  Field& FieldByName(std::string_view name) const;
  const FieldDefs& field_defs() const { return field_defs_; }
  // Calculated and lookup fields are added while closed and kept over close and open.
  Field& AddCalculatedField(std::string name, FieldType type, int size = 0);
  Field& AddLookupField(std::string name, FieldType type, int size, Field::LookupDef lookup);
  bool AutoCalcFields() const { return auto_calc_fields_; }
  void SetAutoCalcFields(bool on) { auto_calc_fields_ = on; }
  int CalcFieldsSize() const { return calc_fields_size_; }

  // ---- bookmarks ----
  // The active record's bookmark; empty when it has none (empty dataset, new record).
  Bookmark GetBookmark() const;
  void GotoBookmark(const Bookmark& bookmark);
  virtual bool BookmarkValid(const Bookmark& bookmark);
  // Texts compared; an empty bookmark sorts before any other.
  virtual int CompareBookmarks(const Bookmark& a, const Bookmark& b) const;

  // ---- record numbers ----
  virtual int32_t RecordCount();
  virtual int32_t RecNo() const { return -1; }
  virtual void SetRecNo(int32_t) {}
  // Whether record numbers equal positions.
  virtual bool IsSequenced() const { return true; }

  // ---- filtering ----
  const std::string& Filter() const { return filter_text_; }
  virtual void SetFilter(const std::string& text) { filter_text_ = text; }
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool on) { filtered_ = on; }
  const FilterOptions& filter_options() const { return filter_options_; }
  virtual void SetFilterOptions(FilterOptions options) { filter_options_ = options; }
  // Asked in the filter state for each record storage visits; clear `accept` to skip it.
  std::function<void(DataSet&, bool& accept)> OnFilterRecord;

  // ---- searching ----
  virtual bool Locate(const std::string& fields, const std::vector<Variant>& values, LocateOptions options);
  // The values of `result_fields` (";"-separated) in the record found; empty when none is.
  virtual std::vector<Variant> Lookup(const std::string& key_fields, const std::vector<Variant>& values,
                                      const std::string& result_fields);

  // ---- memos and blobs ----
  virtual std::unique_ptr<BlobStream> CreateBlobStream(Field& field, BlobMode mode);

  // ---- data-aware parts ----
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disable_count_ > 0 || temp_state_depth_ > 0; }
  // The source this dataset follows as a detail, if any.
  virtual DataSource* GetDataSource() const { return nullptr; }
  // Whether `source`'s dataset is this one or, through its own masters, depends on it.
  bool IsLinkedTo(const DataSource* source) const;

  // ---- the temporary-state switch ----
  // Enters `state` for a moment (events held back); RestoreState puts the old state back.
  DataSetState SetTempState(DataSetState state);
  void RestoreState(DataSetState state);

  // ---- the buffer ring, for data links ----
  int BufferCount() const { return buffer_count_; }
  int ActiveRecordIndex() const { return active_record_; }
  int RingRecordCount() const { return used_; }
  // Re-reads the buffer count wanted by the links.
  void UpdateBufferCount();

  // ---- events ----
  std::function<void(DataSet&)> BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  std::function<void(DataSet&)> BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  std::function<void(DataSet&)> BeforePost, AfterPost, BeforeCancel, AfterCancel;
  std::function<void(DataSet&)> BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  std::function<void(DataSet&)> OnNewRecord, OnCalcFields;

 protected:
  // ---- storage hooks ----
  // Bytes of one record buffer (fixed while open; known after InternalOpen).
  virtual size_t RecordBufferSize() const = 0;
  // Opens storage, defines the fields (InitFieldDefs, CreateDefaultFields, BindFields).
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual void InternalInitFieldDefs() = 0;
  // Reads the current, next or prior record into `buffer`.
  virtual GetResult GetRecord(uint8_t* buffer, GetMode mode, bool do_check) = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalInitRecord(uint8_t* buffer) = 0;
  // Positions storage on the record held by `buffer`.
  virtual void InternalSetToRecord(uint8_t* buffer) = 0;
  virtual void InternalGotoBookmark(const Bookmark& bookmark) = 0;
  virtual BookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const = 0;
  virtual void SetBookmarkFlag(uint8_t* buffer, BookmarkFlag flag) = 0;
  virtual Bookmark GetBookmarkData(const uint8_t* buffer) const = 0;
  virtual void SetBookmarkData(uint8_t* buffer, const Bookmark& bookmark) = 0;
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalPost() = 0;
  virtual void InternalCancel() {}
  virtual void InternalDelete() = 0;
  virtual void InternalAddRecord(uint8_t* buffer, bool append) = 0;
  virtual void InternalRefresh() {}
  virtual void ClearCalcFields(uint8_t*) {}
  // The value of `field` in the buffer the state selects; false when absent.
  virtual bool GetFieldData(const Field& field, Variant& out) = 0;
  virtual void SetFieldData(Field& field, const Variant& value) = 0;
  virtual bool GetCanModify() const { return true; }

  // ---- event steps a subclass may extend ----
  virtual void DoAfterInsert();
  virtual void DoAfterPost();
  virtual void DoBeforeScroll();
  virtual void DoAfterScroll();
  // Lookup fields and OnCalcFields for the calc buffer.
  virtual void CalculateFields(uint8_t* buffer);

  // ---- services for subclasses ----
  uint8_t* ActiveBuffer() const { return BufferAt(active_record_); }
  // The buffer after the used ones: scratch space for fetches.
  uint8_t* TempBuffer() const { return BufferAt(used_); }
  uint8_t* CalcBuffer() const { return calc_buffer_; }
  uint8_t* BufferAt(int index) const;
  void SetState(DataSetState state);
  void SetModified(bool on) { modified_ = on; }
  void DataEvent(DataEventKind event, const Field* field = nullptr, int info = 0);
  // Fills the calculated fields of `buffer` (calc-fields state for the moment).
  void GetCalcFields(uint8_t* buffer);
  // Runs `body` in the calc-fields state with `buffer` as the calc buffer, its calculated fields
  // filled first, so that fields read from `buffer`.
  void ReadThroughCalcBuffer(uint8_t* buffer, const std::function<void()>& body);
  // Forget which buffer storage is positioned on / position storage on the active record.
  void CursorPosChanged() { current_record_ = -1; }
  void UpdateCursorPos();
  void ClearBuffers();
  // Field objects: one per definition without a field of that name; binding numbers data
  // fields and lays out the calculated area.
  void CreateDefaultFields();
  void DestroyDefaultFields();
  void BindFields(bool binding);
  FieldDefs& mutable_field_defs() { return field_defs_; }

 private:
  friend class Field;

  void AllocateBuffers(int count);
  void FreeBuffers();
  void ActivateBuffers();
  void MoveBuffer(int from, int to);
  void SetCurrentRecord(int index);
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void SetBufferCount(int count);
  void InitRecord(uint8_t* buffer);
  void BeginInsertAppend();
  // The buffer of a new record: before the current record (remembering it as the place to
  // insert), or alone in the ring after the last record.
  uint8_t* OpenInsertBuffer();
  uint8_t* OpenAppendBuffer();
  void EndInsertAppend();
  void AddRecord(const std::vector<Variant>& values, bool append);
  void CloseCursor();
  void Fire(const std::function<void(DataSet&)>& event) {
    if (event) event(*this);
  }
  // Sources register with the dataset they follow.
  friend class DataSource;
  void AddSource(DataSource* source);
  void RemoveSource(DataSource* source);

  DataSetState state_ = DataSetState::kInactive;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool auto_calc_fields_ = true;

  FieldDefs field_defs_;
  std::vector<std::unique_ptr<Field>> fields_;
  int calc_fields_size_ = 0;

  // The ring: buffer_count_ record buffers plus one scratch buffer; used_ of them hold records,
  // active_record_ is the one shown, current_record_ the one storage stands on (-1 unknown).
  std::vector<std::vector<uint8_t>> buffers_;
  int buffer_count_ = 0;
  int used_ = 0;
  int active_record_ = 0;
  int current_record_ = -1;
  uint8_t* calc_buffer_ = nullptr;
  bool buffer_count_pending_ = false;

  std::string filter_text_;
  bool filtered_ = false;
  FilterOptions filter_options_;

  std::vector<DataSource*> sources_;
  int disable_count_ = 0;
  DataSetState disable_state_ = DataSetState::kInactive;
  DataEventKind enable_event_ = DataEventKind::kDataSetChange;
  int temp_state_depth_ = 0;
};

}  // namespace quarvel
