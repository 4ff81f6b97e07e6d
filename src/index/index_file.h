// IndexFile: one open index file beside a table: its disk file, its tags, the index lock of the
// table's lock protocol, block reads and writes (enciphered with the table), and key
// maintenance for every record the table writes. The formats (NTX, NDX, MDX, CDX) derive from
// it; OpenIndex (index/open_index.h) chooses one by extension.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbf/disk_file.h"
#include "dbf/lock_protocol.h"
#include "index/index_tag.h"

namespace dbase {

class IndexTable;

class IndexFile {
 public:
  // `path` is the full file name; the file is opened (or, with `create`, created empty)
  // by the format's constructor through OpenDisk.
  IndexFile(IndexTable& table, const std::string& path);
  virtual ~IndexFile();
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;

  IndexTable& table() const { return table_; }
  DiskFile& disk() const { return *disk_; }
  const std::string& path() const { return path_; }
  // The name without folder, as messages show it.
  std::string file_name() const;
  virtual const char* format_name() const = 0;
  // Extension a name without one receives, with its dot (".ntx").
  virtual const char* default_extension() const = 0;

  int tag_count() const { return static_cast<int>(tags_.size()); }
  IndexTag* tag(int i) const { return tags_[static_cast<size_t>(i)].get(); }
  // A tag by name, case ignored; nullptr when there is none.
  IndexTag* FindTag(std::string_view name) const;

  // Creates a tag (or, for single-tag formats, the file's one tag) and builds it from the
  // table. A multi-tag file replaces a tag of the same name.
  virtual IndexTag* DefineTag(const TagDefinition& definition) = 0;
  // Multi-tag formats: removes a tag ("Cannot find index tag %s" when there is none).
  virtual void DeleteTag(const std::string& name);
  // Rebuilds every tag from the table.
  virtual void Reindex() = 0;
  // Renames the file, keeping its extension; multi-tag formats record the new table name.
  virtual bool Rename(const std::string& new_base_name);
  // Key maintenance for every tag after record `record` was written; true when a tag changed.
  virtual bool UpdateRecord(int32_t record, bool is_new);
  // Writes what is pending (headers, counts) to the file.
  virtual void Flush();
  // Re-keys the file of an enciphered table: every piece of 512 bytes deciphered with `from`
  // and enciphered with `to` (an empty function leaves the bytes as they are).
  using CipherFunction = std::function<void(uint8_t*, size_t)>;
  void Recrypt(const CipherFunction& from, const CipherFunction& to);

  // The index lock of the table's protocol, tried 100 times 50 ms apart; false when refused.
  // Without sharing it always succeeds. Nestable.
  bool Lock();
  // As Lock, raising "Can not Lock file %s" when refused.
  void LockOrRaise();
  void Unlock();
  void SetLockProtocol(int protocol);
  int lock_protocol() const { return lock_protocol_; }
  const LockConstants& lock_constants() const { return lock_constants_; }

  // Block access at byte offsets; reads past the end of the file or short reads raise
  // "Index file %s is corrupted".
  void ReadBlock(uint64_t offset, uint8_t* buffer, size_t length);
  void WriteBlock(uint64_t offset, const uint8_t* buffer, size_t length);
  int64_t FileSize();
  // Forgets the blocks kept in memory (the file changed size or another process may write).
  void DropCachedBlocks();
  // Cuts the file to `size` bytes (full access needed when shared).
  void TruncateFile(uint64_t size);
  // Between these, writes are gathered and written in large pieces (bottom-up builds).
  void BeginBulkWrite();
  void EndBulkWrite();

  // ---- the rebuild mark ----
  // Four bytes in the file's header saying that its keys may disagree with the table. They are
  // written before a record write that maintains keys and cleared once the table and every key
  // agree again: at the end of the write, or for an exclusive table once its held records and
  // header are written. A failure in between leaves them, so that the file is refused (or
  // rebuilt by an exclusive read-write open) instead of passing for whole. The bytes lie in
  // room the format leaves unused, zero in every file this engine leaves whole.
  bool MarkFound();
  // Before a record write: writes the mark unless it is there. A file a failed change left
  // damaged refuses ("Index file %s is corrupted").
  void BeginChange();
  // Before a rebuild, a tag defined or deleted, or a rewrite of the table: writes the mark
  // unless it is there, damaged or not.
  void BeginRebuild();
  // The table and the keys agree: clears the mark (a damaged file keeps it).
  void EndChange();
  // A change failed part-way: the mark stays on the file until it is rebuilt.
  void SetDamaged() { damaged_ = true; }
  bool damaged() const { return damaged_; }
  bool marked() const { return marked_; }
  // After every tag was rebuilt from the table: no longer damaged; the mark, if on the file,
  // is cleared by the next EndChange.
  void AfterRebuild();

  [[noreturn]] void Corrupted() const;
  bool exact() const;
  bool shared() const { return disk_->shared(); }
  bool locked() const { return lock_depth_ > 0; }

 protected:
  // Opens the disk file of `path_`; with `create` a new empty file is made (replacing one).
  void OpenDisk(bool create);
  void AddTag(std::unique_ptr<IndexTag> tag) { tags_.push_back(std::move(tag)); }
  std::vector<std::unique_ptr<IndexTag>>& tags() { return tags_; }
  // Marks the table as having a production index when this file has the table's base name.
  void MarkProductionIfOwnName();
  // After the lock of a shared file is taken: forget what another process may have changed
  // (where new pages go).
  virtual void AfterLock() {}
  // The header block the format reads and writes whole, and where the mark lies in it.
  struct MarkPlace {
    uint64_t block;
    size_t length;
    size_t at;
  };
  virtual MarkPlace mark_place() const = 0;

 private:
  void FlushBulk();

  IndexTable& table_;
  std::string path_;
  std::unique_ptr<DiskFile> disk_;
  std::vector<std::unique_ptr<IndexTag>> tags_;
  int lock_protocol_ = Default;
  LockConstants lock_constants_;
  int lock_depth_ = 0;

  // Blocks of a file no other process writes, kept after reading (direct-mapped by offset) so
  // that seeks and walks read a page from the disk once.
  struct CachedBlock {
    uint64_t offset = UINT64_MAX;
    std::vector<uint8_t> bytes;
  };
  CachedBlock* CacheSlot(uint64_t offset);
  std::vector<CachedBlock> cache_;

  void WriteMark(bool on);
  bool marked_ = false;   // this handle wrote the mark and has not cleared it
  bool damaged_ = false;  // a change failed part-way: the mark stays
  std::vector<uint8_t> mark_buffer_;
  // The header block holding the mark as last read or written (deciphered).
  std::vector<uint8_t> mark_image_;
  bool mark_image_valid_ = false;

  bool bulk_ = false;
  std::vector<uint8_t> bulk_buffer_;
  uint64_t bulk_start_ = 0;
  uint64_t bulk_end_ = 0;  // end of the bytes gathered
  std::vector<uint8_t> cipher_buffer_;
};

// Holds the index lock of a file for a scope ("Can not Lock file %s" when refused).
class IndexLockScope {
 public:
  explicit IndexLockScope(IndexFile& file) : file_(file) { file_.LockOrRaise(); }
  ~IndexLockScope() { file_.Unlock(); }
  IndexLockScope(const IndexLockScope&) = delete;
  IndexLockScope& operator=(const IndexLockScope&) = delete;

 private:
  IndexFile& file_;
};

}  // namespace dbase
