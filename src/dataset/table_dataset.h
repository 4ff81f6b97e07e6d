// TTableDataSet: a dBase table file as a dataset with named, typed fields. It carries out the
// framework's storage hooks through its table object (DBFObject), maps dBase field types to
// dataset field types, converts values both ways, and publishes the table operations the
// application needs: copy, sorted copy and emptying, with record count, bookmarks, locate and
// lookup, index files and master/detail ranges. Point it at a table with DatabaseName (a folder
// or an alias) and TableName while it is closed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/data_source.h"
#include "dataset/dataset.h"
#include "dataset/dbf_object.h"
#include "dbf/lock_protocol.h"

namespace quarvel {

// Dataset type of numeric fields without decimals that are 10 or more characters wide.
enum class IntFieldsKind { kAsInteger, kAsLargeInt, kAsFloat };

enum class BusyState { kIdle, kBuildingIndex, kCopying };

// One index tag as the dataset describes it.
struct IndexDef {
  std::string name;
  std::string fields;      // field names separated by ";" (empty for an expression index)
  std::string expression;  // the tag's key expression
  bool is_expression = false;
};

class TTableDataSet : public DataSet {
 public:
  static constexpr const char* kAbout = "Table engine version 1.0";

  TTableDataSet();
  ~TTableDataSet() override;

  // ---- published properties ----
  std::string About() const { return kAbout; }
  void SetAbout(const std::string&) {}
  bool AutoFlush() const { return auto_flush_; }
  void SetAutoFlush(bool on);
  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(const std::string& name);
  const std::string& EncryptionKey() const { return encryption_key_; }
  void SetEncryptionKey(const std::string& key);
  bool ExactCount() const { return exact_count_; }
  void SetExactCount(bool on) { exact_count_ = on; }
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool on) { exclusive_ = on; }
  void SetFilter(const std::string& text) override;
  void SetFiltered(bool on) override;
  void SetFilterOptions(FilterOptions options) override;
  const std::vector<IndexDef>& IndexDefs() const { return index_defs_; }
  const std::vector<std::string>& IndexFiles() const { return index_files_; }
  void SetIndexFiles(const std::vector<std::string>& files);
  const std::string& IndexName() const { return index_name_; }
  void SetIndexName(const std::string& name);
  IntFieldsKind LargeIntegerAs() const { return large_integer_as_; }
  void SetLargeIntegerAs(IntFieldsKind kind) { large_integer_as_ = kind; }
  dbase::LockProtocolKind LockProtocol() const { return lock_protocol_; }
  void SetLockProtocol(dbase::LockProtocolKind protocol);
  const std::string& MasterFields() const { return master_fields_; }
  void SetMasterFields(const std::string& fields);
  DataSource* MasterSource() const { return master_link_.data_source(); }
  // Raises "Circular datalinks are not allowed" when `source` depends on this dataset.
  void SetMasterSource(DataSource* source);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool on) { read_only_ = on; }
  const std::string& TableName() const { return table_name_; }
  void SetTableName(const std::string& name);
  bool TranslateASCII() const { return translate_ascii_; }
  void SetTranslateASCII(bool on) { translate_ascii_ = on; }
  bool UseDeleted() const { return use_deleted_; }
  void SetUseDeleted(bool on);
  int32_t UserID() const { return user_id_; }
  void SetUserID(int32_t id);
  // Progress of long operations: (-1, operation, total), (operation, record, 0) per record,
  // (0, 0, 0) at the end.
  std::function<void(TTableDataSet&, int stat1, int stat2, int stat3)> OnStatus;

  // ---- the table ----
  // The table object while open (field metadata by number from 1: FieldName, FieldType, ...).
  DBFObject* TableObject() const { return table_.get(); }
  // The folder the table is looked up in (with a trailing separator; empty for the current one).
  std::string TableFolder() const;
  BusyState busy_state() const { return busy_; }
  void CheckActive() const override;

  // ---- whole-table operations ----
  void CopyFile(const std::string& target, const std::string& password);
  // Sequence 2 sorts ascending, any other value descending.
  void SortFile(const std::string& target, const std::string& password, int sequence, const std::string& key);
  void Zap();
  void Reindex();
  // Removes the deletion mark of the current record.
  void Recall();

  // ---- records ----
  int32_t RecordCount() override;
  int32_t RecNo() const override;
  void SetRecNo(int32_t record) override;
  bool BookmarkValid(const Bookmark& bookmark) override;
  bool IsSequenced() const override;
  bool Locate(const std::string& fields, const std::vector<Variant>& values, LocateOptions options) override;
  std::vector<Variant> Lookup(const std::string& key_fields, const std::vector<Variant>& values,
                              const std::string& result_fields) override;
  std::unique_ptr<BlobStream> CreateBlobStream(Field& field, BlobMode mode) override;
  DataSource* GetDataSource() const override { return master_link_.data_source(); }

  // ---- index tags and ranges ----
  int IndexTagCount() const;
  // By number from 1 across the open index files; "" when there is no such tag.
  std::string IndexTagName(int number) const;
  std::string IndexTagExpression(int number) const;
  // Limits the records to keys from `low` to `high` in the active index (false without one).
  bool SetRange(const std::string& low, const std::string& high);
  void CancelRange();
  // Set-key state: fill the index fields, then GotoKey searches the active index.
  void SetKey();
  bool GotoKey();
  // Searches the active index for the key its expression makes of `values`, one per field of
  // the expression in order (SetKey and GotoKey in one step).
  bool FindKey(const std::vector<std::string>& values);

  // Memo content of the current record's field, for TBlobStream.
  std::string ReadMemo(const Field& field);
  void WriteMemo(Field& field, const std::string& text);

 protected:
  // Makes the table object when the dataset opens.
  virtual std::unique_ptr<DBFObject> CreateTableObject(const std::string& path, const std::string& password,
                                                       bool read_write, bool shared);

  size_t RecordBufferSize() const override { return layout_.total; }
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  GetResult GetRecord(uint8_t* buffer, GetMode mode, bool do_check) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalInitRecord(uint8_t* buffer) override;
  void InternalSetToRecord(uint8_t* buffer) override;
  void InternalGotoBookmark(const Bookmark& bookmark) override;
  BookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const override;
  void SetBookmarkFlag(uint8_t* buffer, BookmarkFlag flag) override;
  Bookmark GetBookmarkData(const uint8_t* buffer) const override;
  void SetBookmarkData(uint8_t* buffer, const Bookmark& bookmark) override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalRefresh() override;
  void InternalDelete() override;
  void InternalAddRecord(uint8_t* buffer, bool append) override;
  void ClearCalcFields(uint8_t* buffer) override;
  bool GetFieldData(const Field& field, Variant& out) override;
  void SetFieldData(Field& field, const Variant& value) override;
  bool GetCanModify() const override { return !read_only_; }
  void DoAfterInsert() override;

 private:
  friend class DBFObject;

  // Offsets within a record buffer: the record image (with the engine's end byte), the
  // calculated area, the record number, the bookmark flag and the 11-byte bookmark.
  struct Layout {
    size_t record = 0;
    size_t calc = 0;
    size_t record_number = 0;
    size_t flag = 0;
    size_t bookmark = 0;
    size_t total = 0;
  };

  // Master/detail: follows the master source and re-applies the range when it moves.
  class MasterLink : public DataLink {
   public:
    explicit MasterLink(TTableDataSet& owner) : owner_(owner) {}

   protected:
    void ActiveChanged() override;
    void RecordChanged(const Field* field) override;
    void CheckBrowseMode() override;

   private:
    TTableDataSet& owner_;
  };

  // OnFilterRecord for the record the handler stands on (filter state for the moment).
  bool AcceptRecord();
  void ComputeLayout();
  uint8_t* ActiveRecBuf();
  int32_t BufferRecordNumber(const uint8_t* buffer) const;
  void SetBufferRecordNumber(uint8_t* buffer, int32_t record);
  void FillBookmark(uint8_t* buffer, int32_t record);
  // Table field number of a data field.
  int TableFieldNumber(const Field& field) const;
  bool IsIndexField(const Field& field) const;
  std::string FullTablePath() const;
  // Reads `record` into the current record pointer from the file itself.
  void FreshRead(int32_t record);
  void ApplyFilter();
  void OpenIndexFiles(bool reapplied);
  void RebuildIndexDefs();
  // Limits the records to the master's current key; false when no new range was set.
  bool ApplyMasterRange();
  void MasterChanged();
  void MasterDisabled();
  std::string ToTable(const std::string& text) const;
  std::string FromTable(const std::string& text) const;
  std::string LocateText(const Variant& value) const;
  // Runs `body` around a handler operation with the busy state set (idle again afterwards).
  void RunBusy(BusyState state, const std::function<void()>& body);

  std::unique_ptr<DBFObject> table_;
  Layout layout_;
  std::vector<int> table_field_numbers_;  // per field definition
  std::vector<uint8_t> key_buffer_;
  bool pending_first_ = false;
  bool pending_last_ = false;
  bool edit_locked_ = false;
  BusyState busy_ = BusyState::kIdle;

  bool auto_flush_ = false;
  std::string database_name_;
  std::string encryption_key_;
  bool exact_count_ = false;
  bool exclusive_ = false;
  std::vector<IndexDef> index_defs_;
  std::vector<std::string> index_files_;
  std::string index_name_;
  IntFieldsKind large_integer_as_ = IntFieldsKind::kAsInteger;
  dbase::LockProtocolKind lock_protocol_ = dbase::Default;
  std::string master_fields_;
  MasterLink master_link_{*this};
  bool read_only_ = false;
  std::string table_name_;
  bool translate_ascii_ = true;
  bool use_deleted_ = false;
  int32_t user_id_ = 0;
};

}  // namespace quarvel
