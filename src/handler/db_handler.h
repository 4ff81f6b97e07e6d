// dBHandler: the table object the rest of the system uses. Over the field layer it adds
// navigation through the filter and past deleted records, skipping, search by key and by field
// values, the 32 KB read-ahead buffer for physical-order scans, and the whole-table operations
// (copy, sorted copy, empty, encipher). Index files live in slots 1-63; with a current tag,
// navigation and key searches run in its order, and every record written updates every open
// index file. The handler is the IndexTable its index files read records through.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbase_fld.h"
#include "index/index_table.h"

namespace dbase {

class CursorGuard;
class ExpHandler;
class ExpUserLink;
class HugeSet;
class IndexFile;
class IndexTag;
class TableReplacement;
class Value;
struct TagDefinition;

class dBHandler : public dBaseFld, public IndexTable {
 public:
  static constexpr int kIndexSlots = 63;
  static constexpr size_t kReadAheadBytes = 32768;

  dBHandler(const std::string& file_name, const std::string& password, bool read_write, bool shared);
  ~dBHandler() override;

  // Positioning in the order of the current tag, through the filter and past deleted records.
  void GetRecord(int32_t request) override;
  void Append() override;
  void PutRecord(int32_t record) override;
  bool Notify(int event, int32_t record) override;
  void SetLockProtocol(int protocol) override;
  bool HasIndexes() override;
  bool Rename(const std::string& new_name) override;

  // Read-ahead: record reads are served from the buffer while it is on.
  int64_t Read(uint64_t offset, void* buffer, size_t length) override;
  void Write(uint64_t offset, const void* buffer, size_t length) override;

  virtual bool Find(const std::string& key);
  virtual int32_t FindInTag(const std::string& tag_name, const std::string& key);
  virtual void Skip(int32_t count);
  // Whether the current record belongs to the caller's view; the dataset overrides it.
  virtual bool RecordAccepted();
  virtual bool LockIndexes();
  virtual void SetPassword(const std::string& password);
  void UnlockIndexes();

  void SetReadAhead(bool on);
  bool read_ahead() const { return read_ahead_; }

  // The filter: `expression` is compiled on the table's link and evaluated over every record;
  // the records that pass are kept in a bit set that navigation then tests.
  void SetFilter(const std::string& expression, bool case_insensitive, bool wildcards);
  void SetFilterActive(bool on);
  void RebuildFilter();
  bool filter_active() const { return filter_active_; }
  bool filter_requested() const { return filter_requested_; }
  const std::string& filter_text() const { return filter_text_; }
  // Whether the record passes the compiled filter (false outside the set).
  bool FilterBit(int32_t record) const;

  // Search by field values: `fields` separated by ";", one value per field.
  bool Locate(const std::string& fields, const std::vector<std::string>& values, bool partial,
              bool case_insensitive);

  // Index files. OpenIndexes opens a list of names (separated by "," or ";", quotes dropped)
  // and selects `tag_name`; OpenIndexFile opens one more (the same file is not opened twice).
  int OpenIndexes(const std::string& list, const std::string& tag_name);
  IndexFile* OpenIndexFile(const std::string& name);
  // A table whose header announces a production index opens its .mdx/.cdx (any case); a missing
  // one is "File %s could not be found". False when the table announces none.
  bool OpenProductionIndex();
  // The production index's file name as OpenProductionIndex finds it: empty when the table
  // announces none; the name it looks for first when no such file exists.
  std::string ProductionIndexPath() const;
  // Creates a tag in the index file `name` (opened, or created when it does not exist; a
  // multi-tag file gains or replaces the tag) and builds it from the table.
  IndexTag* DefineTag(const std::string& name, const TagDefinition& definition);
  // Removes a tag from an open multi-tag file.
  void DeleteTag(const std::string& tag_name);
  void SelectTag(const std::string& name, bool keep_position);
  IndexTag* TagByNumber(int n);
  // A tag of the open index files by name (case ignored); nullptr when none.
  IndexTag* FindTag(const std::string& name) const;
  IndexFile* IndexFileAt(int slot) const { return index_files_[static_cast<size_t>(slot)].get(); }
  int index_file_count() const { return index_count_; }
  void CloseIndexes();
  void Reindex();
  // The structural and full check of every open index file ("" when all are sound).
  std::string CheckIndexes();
  bool SetRange(const std::string& low, const std::string& high, int s1, int s2, int s3);
  IndexTag* current_tag() const { return current_tag_; }
  const std::string& tag_name() const { return tag_name_; }
  // Find with a key value of any type (the dataset's evaluated key expressions).
  bool FindValue(const Value& key);

  // IndexTable: what the open index files read through.
  std::string TableFileName() const override { return file_name(); }
  ExpUserLink* ExpressionLink() override { return link(); }
  int32_t RecordCount() override { return record_count(); }
  void GoRecord(int32_t record) override;
  int32_t CurrentRecord() const override { return record_number(); }
  const uint8_t* RecordBytes() const override { return record(); }
  bool UsePreviousContents(bool on) override;
  bool FindField(std::string_view name, IndexField* field) const override;
  bool Shared() const override { return shared(); }
  bool ReadWrite() const override { return read_write(); }
  int LockProtocol() const override { return lock_protocol(); }
  bool ExactSearch() const override { return exact_search(); }
  bool Encrypted() const override { return encrypted(); }
  void Cipher(uint8_t* bytes, size_t length) override;
  void MarkProductionIndex() override;
  void StatusReport(int stat1, int stat2, int stat3) override { StatusUpdate(stat1, stat2, stat3); }

  // Whole-table operations. Each writes its new table beside the old one and puts it in place
  // only when complete (TableReplacement): a failure leaves the old table, and no partial target.
  // An empty table with this table's fields: by the builder of its dialect, or, for a layout no
  // builder writes (Visual FoxPro tables, odd field lengths), as an exact copy of its header.
  void CopyStructure(const std::string& target);
  void CopyFile(const std::string& target, const std::string& password);
  // A sorted copy by `key_expression`; sequence 2 is ascending, 3 descending.
  void SortFile(const std::string& target, const std::string& password, int sequence,
                const std::string& key_expression);
  void Zap();
  // Removes the records marked deleted: a new table of the others, with their memos in a new
  // memo file, replaces this one (TableReplacement); open index files are rebuilt, and the
  // table stands on its first record.
  void Pack();
  // A memo reference Salvage could not follow: the record and the field it was cleared in.
  struct ClearedMemo {
    int32_t record = 0;
    int field = 0;
  };
  // Rewrites the table as Pack does but keeps every record, the deleted ones too: the new
  // header counts the whole records of the file, the end-of-file mark follows the last one, a
  // partial record after it is left behind, and every memo goes into a new memo file, so that no
  // two records share blocks and no free list or next-free block is carried over. A memo
  // reference that cannot be read is blanked and listed in `cleared`.
  void Salvage(std::vector<ClearedMemo>* cleared);

  bool found() const { return found_; }
  bool soft_search() const { return soft_search_; }
  void set_soft_search(bool on) { soft_search_ = on; }
  bool positioned() const { return positioned_; }
  bool position_changed() const { return position_changed_; }

  // The table's expression link: its functions (RECNO, DELETED, ...) and one field variable per
  // field, for the expressions compiled on this table.
  ExpUserLink* link() const { return link_.get(); }

 private:
  friend class CursorGuard;

  int32_t ContinuationOf(int32_t request) const;
  // With a current tag: the record a relative request leads to in its order, past records the
  // active filter leaves out (0 at an end, eof/bof set).
  int32_t TagTarget(int32_t request);
  // Skip counting every record, through the current tag.
  void SkipInTag(int32_t count);
  // Without a tag, with the filter active: the record a relative request leads to in the bit
  // set (0 when none; eof/bof set as the request demands).
  int32_t FilteredTarget(int32_t request);
  // Evaluates `filter` over every visited record into `set`, in physical order.
  void ScanFilter(ExpHandler& filter, HugeSet& set);
  void InvalidateReadAhead() { buffer_start_ = -1; buffer_end_ = -1; }
  size_t ReadAheadSize() const {
    const auto rl = static_cast<size_t>(record_length());
    return std::max(rl, kReadAheadBytes / rl * rl);
  }
  // Copies the memos of the current record into `target`'s memo file, storing the new blocks.
  // With `cleared`, a memo that cannot be read is blanked in `target` and listed there instead
  // of raising.
  void CopyMemos(dBHandler& target, std::vector<ClearedMemo>* cleared = nullptr);
  void CheckFullAccess(const char* operation);
  // Whether the dialect's builder writes exactly this table's version and field layout.
  bool BuilderKeepsLayout() const;
  // CopyStructure for the other layouts: the header area as stored, with no records.
  void CopyHeaderExactly(const std::string& target);
  // The header area (header, descriptors as stored, terminator, extra area) read from the file.
  std::vector<uint8_t> HeaderArea();
  // The first block of this table's memo file as an empty memo file holds it.
  std::vector<uint8_t> EmptyMemoImage();
  // An empty table in `replacement`'s work folder: this header area as stored, with the header
  // a write leaves (no records, the cipher flag `encrypted`) and the descriptors replaced by
  // `descriptors` when given, and an empty memo file beside it when the table has one. The
  // table file is returned open.
  std::unique_ptr<DiskFile> WriteEmptyTable(const TableReplacement& replacement, bool encrypted,
                                            const std::vector<uint8_t>& descriptors);
  // The new table of a copy, built in `replacement`'s work folder, opened exclusively and, while
  // still empty, enciphered with `password`. Its record layout is this table's, or it is refused.
  std::unique_ptr<dBHandler> OpenCopyTarget(const TableReplacement& replacement, const std::string& password);
  // Replaces the table by a new one written beside it: every record (or those not marked deleted)
  // with its memos, enciphered with `key`; the handler goes on with the new file.
  void RewriteTable(const std::string& key, bool skip_deleted, std::vector<ClearedMemo>* cleared = nullptr);
  // Pack and Salvage: RewriteTable with the table's own password, then the cursor, filter and
  // open index files made to fit the new records.
  void RewriteRecords(bool skip_deleted, std::vector<ClearedMemo>* cleared);
  // Enciphers a new, empty table (in place: it is not yet anybody's table).
  void EncipherEmpty(const std::string& password);

  // Key search in the current tag with a stored search key.
  bool FindKey(const std::string& search);
  // Reads the last record of the current order and stands after it (a failed search).
  void GoPastEnd();
  // Whether the tag a Locate over `fields` (upper case, ";" after each name) can search in.
  bool TagServesFields(IndexTag& tag, const std::string& fields);
  // Keeps the old contents of record `record` for key maintenance before it is replaced.
  void KeepPreviousContents(int32_t record);
  // After a write or flush: the current tag stands on the current record again.
  void ResyncTag();
  // The rebuild marks of the open index files (index/index_file.h) around record writes:
  // written before a write, cleared once the table holds what the keys say.
  void MarkIndexesChanging();
  void SettleIndexMarks(bool raise);
  // After a record write raised: the marks of files whose keys may disagree stay.
  void AfterFailedWrite();
  // Runs `change`, which rewrites the table or index files as a whole (pack, zap, a tag defined
  // or deleted), with every open index file marked: a failure leaves the marks.
  void WithIndexesMarked(const std::function<void()>& change);
  // Whether the table's file holds every record and the header count the keys were made for.
  bool TableSettled() const;
  // A marked file found at open: refused, or rebuilt when this handle has the table to itself.
  void RebuildMarkedIndex(IndexFile& file);

  // First member: the filter and the index tags hold expressions compiled on it.
  std::unique_ptr<ExpUserLink> link_;
  std::array<std::unique_ptr<IndexFile>, kIndexSlots + 1> index_files_;
  int index_count_ = 0;
  IndexTag* current_tag_ = nullptr;
  std::string tag_name_;
  // The contents of a record being replaced, as stored before the write, and the record pointer
  // UsePreviousContents turned away from.
  std::vector<uint8_t> previous_;
  bool previous_valid_ = false;
  // Between the rebuild marks of a write and the end of its key maintenance: a failure then may
  // leave the table new and the keys old.
  bool index_write_pending_ = false;
  uint8_t* pointer_before_previous_ = nullptr;
  int32_t last_read_ = 0;  // the record saved_record() holds

  bool read_ahead_ = false;
  bool walk_ahead_ = false;  // reads go through the buffer during one step of a filtered walk
  std::vector<uint8_t> buffer_;
  int64_t buffer_start_ = -1;
  int64_t buffer_end_ = -1;

  bool found_ = false;
  bool soft_search_ = false;
  bool positioned_ = false;
  bool position_changed_ = false;

  std::unique_ptr<HugeSet> filter_set_;
  std::unique_ptr<ExpHandler> filter_;
  std::string filter_text_;
  bool filter_case_insensitive_ = false;
  bool filter_wildcards_ = false;
  bool filter_requested_ = false;
  bool filter_active_ = false;
};

}  // namespace dbase
