// IndexTable: what an index file needs of the table it orders. The table handler implements it;
// the index layer knows tables only through it, so that it depends on the disk file, values and
// expressions and not on the table classes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbase {

class ExpUserLink;

// One field as the index layer sees it: enough to size numeric keys and to read a plain field
// key straight from the record bytes.
struct IndexField {
  char type = 'C';
  int length = 0;
  int decimals = 0;
  int offset = 0;  // within the record bytes, the deletion flag at 0
};

class IndexTable {
 public:
  virtual ~IndexTable() = default;

  // The table's file name with its folder: index names without a folder take that folder, and
  // an index file with the table's base name is its production index.
  virtual std::string TableFileName() const = 0;
  // Key and FOR expressions compile against this link; they read the current record.
  virtual ExpUserLink* ExpressionLink() = 0;

  virtual int32_t RecordCount() = 0;
  // Makes record `record` (1 .. RecordCount) current for evaluation, read as stored: no filter,
  // no tag, deleted records included.
  virtual void GoRecord(int32_t record) = 0;
  // The current record's number (0 when there is none).
  virtual int32_t CurrentRecord() const = 0;
  // Current record bytes (deletion flag first) of the contents expressions now see.
  virtual const uint8_t* RecordBytes() const = 0;
  // With `on`, expressions see the current record as it was before the write being reported
  // (as read, or blank for an appended record); false when the table keeps no such copy.
  // Off returns to the current contents.
  virtual bool UsePreviousContents(bool on) = 0;
  // The field of that name (case ignored); false when there is none.
  virtual bool FindField(std::string_view name, IndexField* field) const = 0;

  virtual bool Shared() const = 0;
  virtual bool ReadWrite() const = 0;
  virtual int LockProtocol() const = 0;
  // The table's exact option: a search key must then equal a key over its whole length.
  virtual bool ExactSearch() const = 0;
  // Enciphered tables encipher their index files too: every block passes through Cipher in
  // pieces of 512 bytes (the cipher is its own inverse).
  virtual bool Encrypted() const = 0;
  virtual void Cipher(uint8_t* bytes, size_t length) = 0;
  // Marks the table as having a production index (table header byte 28) and writes its header.
  virtual void MarkProductionIndex() = 0;
  // Long operations report (-1, operation, total), (operation, n, 0) per step, (0, 0, 0) at the
  // end; operations 1 (collecting keys) and 2 (writing pages) build an index.
  virtual void StatusReport(int stat1, int stat2, int stat3) = 0;
};

}  // namespace dbase
