// IndexTag: one ordering of a table's records: its key and FOR expressions, its B-tree in the
// file, and the one walker of that tree shared by every format. The walker keeps one path of
// pages from the root to the current entry in memory; it seeks, steps in either direction,
// keeps ranges, and inserts and deletes keys with page splits and parent updates.
//
// Formats differ in three ways the walker is told about:
// - interior data (NTX): a B-tree whose branch entries are keys in their own right, placed
//   after every key of the child they point to; otherwise (NDX, MDX, CDX) every key is in a
//   leaf and a branch entry carries a copy of its child's last key;
// - order: keys in stored order (descending NTX and MDX tags store them from high to low), or
//   stored ascending and read backwards (descending CDX tags);
// - duplicates: kept in record-number order (CDX, whose branch entries carry a record number),
//   or after (ascending) / before (descending) the equal keys already there.
// A format supplies its page layout, key form and header through the virtual operations below.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/value.h"
#include "index/index_key.h"
#include "index/key_forms.h"

namespace dbase {

class ExpHandler;
class IndexFile;
class IndexTable;

// What DefineTag is given.
struct TagDefinition {
  std::string name;
  std::string key_expression;
  std::string for_expression;
  bool unique = false;
  bool descending = false;
};

// A search key in stored form, with the record number when the search is for one entry.
struct SearchKey {
  std::string key;
  int32_t record = 0;
  bool with_record = false;
};

class IndexTag {
 public:
  explicit IndexTag(IndexFile& file);
  virtual ~IndexTag();
  IndexTag(const IndexTag&) = delete;
  IndexTag& operator=(const IndexTag&) = delete;

  // ---- identity ----
  const std::string& name() const { return name_; }
  const char* format_name() const { return format_name_; }
  const std::string& key_expression() const { return key_expression_; }
  const std::string& for_expression() const { return for_expression_; }
  int key_length() const { return key_length_; }
  char key_type() const { return key_type_; }
  int key_decimals() const { return key_decimals_; }
  bool unique() const { return unique_; }
  bool descending() const { return descending_; }
  bool has_for() const { return !for_expression_.empty(); }
  int max_keys() const { return max_keys_; }
  KeyForm key_form() const { return key_form_; }
  PageRef root() const { return root_; }
  PageRef header_ref() const { return header_ref_; }
  IndexFile& file() const { return file_; }

  // ---- positioning ----
  // -3 first, -4 last, -1 next, -2 previous, -5 re-read: the record number of the new current
  // entry, or 0 at either end (bof or eof tells which). With a range only entries in it count.
  int32_t Position(int request);
  // Positions on the first entry, in the tag's order, not before `key` (a stored key; text
  // shorter than the key length matches every key it begins unless the table's exact option is
  // on). Returns its record number when its key matches, else 0; found() tells the same and
  // eof() that no entry follows.
  int32_t Seek(std::string_view key);
  // The last entry, in the tag's order, whose key matches; 0 when none (positioned as Seek).
  int32_t SeekLast(std::string_view key);
  // The stored search key of a value (text not padded, so that it matches partially).
  std::string SearchKeyOf(const Value& value) const { return ConvertKey(value, true); }
  // A value in the tag's key type from text: characters, a number, or a date as yyyymmdd.
  Value ValueFromText(std::string_view text) const;
  bool found() const { return found_; }
  bool bof() const { return bof_; }
  bool eof() const { return eof_; }
  // The current entry (record 0: none).
  int32_t record() const { return current_.record; }
  const std::string& current_key() const { return current_.key; }
  // Positions on the entry of `record`, whose key is computed from the table's current record;
  // false (position unchanged) when the tag holds no such entry.
  bool Resync(int32_t record);
  bool PositionOn(const std::string& key, int32_t record);

  // Range: entries whose keys lie between the bounds (a text bound compared over its own length,
  // trailing blanks dropped), either bound excludable; an empty bound is none. Positions on the
  // first entry in range. Clearing passes two empty values.
  void SetRange(const Value& low, const Value& high, bool exclude_low, bool exclude_high);
  void ClearRange();
  bool has_range() const { return has_low_ || has_high_; }

  // ---- keys of records ----
  // The stored key of the table's current record.
  std::string RecordKey();
  // The key of the table's current record in the form KeySort sorts.
  void RecordSortValue(Value& out);
  // Whether the current record passes the FOR condition (true without one).
  bool RecordQualifies();
  // Key maintenance after record `record` was written (`is_new`: appended); the table offers
  // the record's previous contents. True when the tag changed.
  bool UpdateRecord(int32_t record, bool is_new);
  // Inserts an entry; false when a unique tag holds the key already.
  bool InsertKey(const std::string& key, int32_t record);
  // Removes the entry of (key, record); false when there is none.
  bool DeleteKey(const std::string& key, int32_t record);
  // Builds the tag from the table (pages written bottom-up) and writes its header.
  void Build();
  // Frees the path in memory; the next operation reads from the root again.
  void Release();
  // Every entry in order, leaves first to last, with the page structure checked on the way; used
  // by the structural check and the dumps.
  template <class Visit>
  void ForEachEntry(Visit visit);

  // ---- format interface ----
  // The stored form of a key value; `search` leaves text unpadded.
  virtual std::string ConvertKey(const Value& value, bool search) const = 0;
  // Value of a stored key in the form KeySort sorts, and back.
  virtual Value SortValue(const uint8_t* key) const;
  // Writes into `out` (reused, so that a build allocates nothing per key).
  virtual void StoredFromSort(const Value& value, std::string& out) const;
  virtual void ReadPage(PageRef page, IndexKey& out) = 0;
  virtual void WritePage(IndexKey& page) = 0;
  // Gives a new page its place in the file (and the format's links).
  virtual void AllocatePage(IndexKey& page) = 0;
  // Whether a page's entries fit one page of the file.
  virtual bool PageFits(const IndexKey& page) const;
  // How many entries go to the new left page when a page that does not fit is split.
  virtual int SplitPoint(const IndexKey& page) const;
  // Whether a page being filled by a build takes no further entry.
  virtual bool BuildPageFull(IndexKey& page) const;
  virtual void ReadHeader() = 0;
  virtual void WriteHeader() = 0;
  // Whether another process may have changed the tag since it was read (shared files).
  virtual bool ChangedByOther() { return true; }
  // The page a new empty tree starts with.
  virtual void MakeEmptyRoot();
  // Compiles the key and FOR expressions on the table's link (ExpressionError on failure).
  void CompileExpressions();
  // The key expression's value on the table's current record (the first record when none is
  // current): it decides a new tag's key type and length.
  Value SampleKeyValue();
  // Key type letter of a sample value: C for text and logicals, N, D.
  static char KeyTypeOf(const Value& value);

 protected:
  friend class IndexBuilder;
  friend class TreeLoader;
  friend class IndexChecker;

  int CompareSearch(const SearchKey& s, const IndexKey& page, int i) const;
  // Whether the search sorts before entry i (or at it, unless `strict`).
  bool SearchBefore(const SearchKey& s, const IndexKey& page, int i, bool strict) const;

  // The walker.
  void LoadRoot();
  void PushChild(PageRef page);
  std::unique_ptr<IndexKey> LoadPage(PageRef page);
  // Shortens the path to `n` pages; pages that leave it unchanged are kept for the next descent.
  void TrimPath(size_t n);
  void Descend(const SearchKey& s, bool strict);
  bool SettleForward();
  bool SinkFirst();
  bool SinkLast();
  bool ClimbNext();
  bool ClimbPrev();
  bool StorageFirst();
  bool StorageLast();
  bool StorageNext();
  bool StoragePrev();
  bool NavFirst() { return reverse_ ? StorageLast() : StorageFirst(); }
  bool NavLast() { return reverse_ ? StorageFirst() : StorageLast(); }
  bool NavNext() { return reverse_ ? StoragePrev() : StorageNext(); }
  bool NavPrev() { return reverse_ ? StorageNext() : StoragePrev(); }
  // First entry in the tag's order not before `s` (after it when strict); false when none.
  bool NavLowerBound(const SearchKey& s, bool strict);
  // Last entry in the tag's order not after `s` (before it when strict); false when none.
  bool NavUpperBound(const SearchKey& s, bool strict);
  bool FindEntry(const SearchKey& s);
  void TakeCurrent();
  bool AtEntry() const;
  // Re-reads the path after another process's change or a write of ours.
  void Refresh();
  // Shared files: reads the pages of the path again; false when it no longer stands as it was.
  bool ReloadPath(PageRef old_root);
  bool EnsurePath();
  bool InRangeLow() const;
  bool InRangeHigh() const;
  int32_t FinishPosition(bool ok, bool forward);
  void Corrupted() const;

  // Changes.
  void InsertAtLeaf(const std::string& key, int32_t record);
  void AfterLastChanged(size_t level);
  void SplitIfNeeded(size_t level);
  void Split(size_t level);
  void RemoveAt(size_t level);
  void RemoveEmptyPage(size_t level);
  void RebalanceEmpty(size_t level);
  void RelinkSiblings(PageRef page, PageRef left, PageRef right);
  void CollapseRoot();
  void WriteChanged();
  void WriteExtra(IndexKey& page);
  void SetRoot(PageRef root);

  IndexFile& file_;
  IndexTable& table_;
  const char* format_name_ = "UNK";
  std::string name_;
  std::string key_expression_;
  std::string for_expression_;
  int key_length_ = 0;
  int key_decimals_ = 0;
  char key_type_ = 'C';
  uint8_t fill_ = ' ';      // byte that pads short keys
  bool unique_ = false;
  bool descending_ = false;
  int max_keys_ = 0;
  KeyForm key_form_ = KeyForm::Bytes;
  bool interior_data_ = false;   // NTX
  bool stored_descending_ = false;
  bool reverse_ = false;
  bool record_ordered_ = false;  // CDX
  bool has_siblings_ = false;    // CDX
  bool keyed_rightmost_ = false;  // branch pages store a key for their last child too (CDX)
  bool header_changed_ = false;
  PageRef header_ref_ = 0;
  PageRef root_ = 0;

  std::vector<std::unique_ptr<IndexKey>> path_;
  IndexKeyData current_;
  bool found_ = false;
  bool bof_ = false;
  bool eof_ = false;
  bool path_valid_ = false;

  std::string range_low_;
  std::string range_high_;
  bool has_low_ = false;
  bool has_high_ = false;
  bool exclude_low_ = false;
  bool exclude_high_ = false;

  std::unique_ptr<ExpHandler> key_handler_;
  std::unique_ptr<ExpHandler> for_handler_;
  Value scratch_;
  int fast_field_offset_ = -1;  // a plain character field key is read from the record bytes
  // Decoded pages that left the path unchanged, reused while nothing writes (Release forgets
  // them): a page lives either on the path or here, never in both.
  std::vector<std::unique_ptr<IndexKey>> kept_;
};

// Depth of any tree this engine reads; deeper means a page loop.
inline constexpr int kMaxTreeDepth = 48;

template <class Visit>
void IndexTag::ForEachEntry(Visit visit) {
  Release();
  if (!StorageFirst()) return;
  do {
    const IndexKey& p = *path_.back();
    visit(p, p.position, static_cast<int>(path_.size()));
  } while (StorageNext());
  Release();
}

}  // namespace dbase
