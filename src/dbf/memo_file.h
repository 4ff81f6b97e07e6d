// Memo files: the texts of a table's M, B and G fields, kept in a second file beside the table.
// MemoFile is the dBase III format (".dbt", 512-byte blocks, text ended by 0x1A 0x1A), MemoFile4
// the dBase IV format (".dbt", block headers and a free list), FoxMemoFile the FoxPro format
// (".fpt", big-endian block headers). A field holds the number of its memo's first block; block 0
// holds the file header, so 0 means "no memo".
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/disk_file.h"
#include "dbf/lock_protocol.h"

namespace dbase {

class MemoFile : public DiskFile {
 public:
  // Opens the memo file beside `table_file_name` (extension replaced by ".dbt", found in any
  // case); a missing file raises "File %s could not be found" with the memo file name.
  MemoFile(uint8_t table_version, const std::string& table_file_name, bool read_write, bool shared,
           const std::string& password);

  // The memo file name of a table: the table name trimmed, its extension replaced by ".dbt"
  // (".fpt" for FoxPro versions 0xF5 and 0x30) in the case of the table's extension.
  static std::string MemoFileName(uint8_t table_version, const std::string& table_file_name);

  // Length of the memo's text; 0 for block 0. A block outside the file or a damaged memo raises
  // "Memo record is bad in %s".
  int32_t MemoLength(int64_t block);
  // Reads at most `length` bytes of the memo's text; returns the number read. Block 0 gives an
  // empty text (and a zero first byte when `length` is above 0).
  int32_t MemoGet(void* buffer, int64_t block, int64_t length);
  int32_t MemoGet(std::string& out, int64_t block, int64_t length);
  // Writes `text` as the memo of `block` (0 = none yet) and returns the block now holding it,
  // the old one when it was reused. An empty text writes nothing and returns 0 (a dBase IV file
  // puts the old memo's blocks on its free list).
  int32_t MemoPut(std::string_view text, int64_t block);

  // The file header of this memo file emptied of every memo: its first 512 bytes (block size,
  // name and every other setting kept) with the next free block set to the first block after
  // the header. What a table emptied beside this one writes as its new memo file.
  virtual std::vector<uint8_t> EmptyHeader();

  // The table's lock protocol (values of 4 or more keep the previous one).
  virtual void SetLockProtocol(int protocol);
  // Renames the memo file to match a renamed table (the extension in the new table's case); dBase
  // files also write the new base name into their header.
  virtual bool RenameWithTable(const std::string& new_table_name);

  // Cipher settings copied from the table: texts are read with the current password and written
  // with the new one; an empty password means none.
  void SetCipher(bool on, const std::string& current_password, const std::string& new_password);
  void set_cipher(bool on) { cipher_ = on; }
  void set_current_password(const std::string& password) { current_password_ = password; }
  void set_new_password(const std::string& password) { new_password_ = password; }
  bool cipher() const { return cipher_; }
  const std::string& current_password() const { return current_password_; }
  const std::string& new_password() const { return new_password_; }

  uint8_t table_version() const { return table_version_; }
  int32_t block_size() const { return block_size_; }
  // First block of the memo last read or written, and the number of its blocks.
  int32_t current_block() const { return current_block_; }
  uint32_t block_count() const { return block_count_; }
  int lock_protocol() const { return lock_protocol_; }

 protected:
  // For the derived formats: opens the table's memo file of the given extension.
  MemoFile(uint8_t table_version, const std::string& table_file_name, bool read_write, bool shared,
           const std::string& password, uint32_t memo_header_size, const std::string& extension);

  // Chooses the blocks for a memo of `n` text bytes: sets current_block_ and block_count_ and fills
  // header_ with the memo's block header.
  virtual void AllocateBlocks(uint32_t n);
  // Puts the memo's blocks on the free list (dBase IV only).
  virtual void FreeBlocks(int32_t block);
  // Writes the end-of-text mark at `position` of the write buffer; `TerminatorSize` bytes.
  virtual void WriteTerminator(std::vector<uint8_t>& buffer, size_t position);
  virtual uint32_t TerminatorSize() const;
  // The stored length of the memo at `block`, whose first 32 bytes are in header_.
  virtual uint64_t ReadStoredLength(int64_t block);
  // Bytes in front of the text when reading (current password) and when writing (new password).
  virtual uint32_t ReadPrefix() const;
  virtual uint32_t WritePrefix() const;

  // The stored length of a memo (header included for dBase IV and FoxPro), checked against the
  // file; block 0 gives the memo header size.
  uint64_t StoredLength(int64_t block);
  // Byte offset of `block`, which must be a memo block inside the file.
  uint64_t BlockOffset(int64_t block);
  // The block at which an appended memo goes: `next_free` unless it would write over the file
  // header or far beyond the file's end.
  int64_t AppendBlock(int64_t next_free);
  // Blocks of `bytes` bytes, rounded up.
  uint64_t BlocksFor(uint64_t bytes) const;
  [[noreturn]] void Bad() const;
  // Renames the file to the new table name with the memo file's current extension.
  bool RenameMemoFile(const std::string& new_table_name);
  // Takes the memo file lock (shared files only); "Can not Lock file %s" when every attempt fails.
  void LockMemo();

  uint8_t table_version_ = 0;
  int32_t current_block_ = 0;
  uint32_t block_count_ = 0;
  int32_t block_size_ = 512;
  int64_t first_block_ = 1;  // the first block after the file header
  std::array<uint8_t, 32> header_{};
  int lock_protocol_ = Default;
  LockConstants lock_constants_{};
  uint32_t memo_header_size_ = 0;
  bool cipher_ = false;
  std::string current_password_;
  std::string new_password_;
};

class MemoFile4 : public MemoFile {
 public:
  // Reads the block size from the header; extends a file shorter than one block (read-write only).
  MemoFile4(uint8_t table_version, const std::string& table_file_name, bool read_write, bool shared,
            const std::string& password);

 protected:
  void AllocateBlocks(uint32_t n) override;
  void FreeBlocks(int32_t block) override;
  void WriteTerminator(std::vector<uint8_t>& buffer, size_t position) override;
  uint32_t TerminatorSize() const override;
  uint64_t ReadStoredLength(int64_t block) override;
  uint32_t ReadPrefix() const override;
  uint32_t WritePrefix() const override;

 private:
  // A run of the free list: its first block (-1 when none fits), the block whose link points at
  // it (0 = the file header), its next link and its size in blocks.
  struct FreeRun {
    int64_t block = -1;
    int64_t previous = 0;
    uint32_t next = 0;
    uint32_t size = 0;
  };
  // The first run of at least `needed` blocks; raises the memo error when the list loops.
  FreeRun FindFreeRun(int64_t end, uint64_t needed);
  // The number of blocks in the file (an empty file is first given its header block).
  int64_t BlockEnd();
};

class FoxMemoFile : public MemoFile {
 public:
  // Reads the block size from the header.
  FoxMemoFile(uint8_t table_version, const std::string& table_file_name, bool read_write, bool shared,
              const std::string& password);

  bool RenameWithTable(const std::string& new_table_name) override;
  std::vector<uint8_t> EmptyHeader() override;

 protected:
  void AllocateBlocks(uint32_t n) override;
  void WriteTerminator(std::vector<uint8_t>& buffer, size_t position) override;
  uint32_t TerminatorSize() const override;
  uint64_t ReadStoredLength(int64_t block) override;
  uint32_t ReadPrefix() const override;
  uint32_t WritePrefix() const override;
};

// The memo file object for a table version: 0x8B dBase IV, 0xF5 and 0x30 FoxPro, every other
// version dBase III.
std::unique_ptr<MemoFile> OpenMemoFile(uint8_t version, const std::string& table_file_name, bool read_write,
                                       bool shared, const std::string& password);

}  // namespace dbase
