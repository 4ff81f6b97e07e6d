// NDX index files: one ascending tag per file, a B-tree of 512-byte blocks with every key in a
// leaf; a branch entry carries a copy of its child's last key.
//
// All integers little-endian; blocks are numbered (byte offset = number * 512), the header in
// block 0:
//   0  4  root block
//   4  4  next free block
//   8  4  0, but for byte 9: the key type letter, C or N (numeric and date keys), which other
//         programs rely on
//  12  2  key length (8 for numeric and date keys)
//  14  2  maximum keys per block
//  16  2  key type: 1 numeric or date, 0 character
//  18  2  item size
//  23  1  bit 0: unique
//  24 488 key expression, NUL-terminated
// Block:
//   0  4  number of keys n
//   4     items of the item size: 4-byte child block (0 in a leaf), 4-byte record number (0 in a
//         branch), the key
// A block is a branch when its first item's child is not 0; a branch has n keys and n + 1
// children (item n carries only the last child).
// Sizes: item size = key length + 8 rounded up to 4 (20 for numeric keys), maximum = 504 div
// item size. Keys: C blank-padded text; N an 8-byte double; D the day number as a double, an
// empty date as 1e100 so that it sorts after every date.
#pragma once

#include <string>

#include "index/index_file.h"

namespace dbase {

class NDXFile;

class NDXTag final : public IndexTag {
 public:
  explicit NDXTag(NDXFile& file);

  std::string ConvertKey(const Value& value, bool search) const override;
  void ReadPage(PageRef page, IndexKey& out) override;
  void WritePage(IndexKey& page) override;
  void AllocatePage(IndexKey& page) override;
  void ReadHeader() override;
  void WriteHeader() override;

  void Define(const TagDefinition& definition);
  int item_size() const { return item_size_; }

 private:
  void SetType(char type);

  NDXFile& ndx_;
  int item_size_ = 0;
};

class NDXFile final : public IndexFile {
 public:
  static constexpr int kBlockSize = 512;

  NDXFile(IndexTable& table, const std::string& path, bool create);

  const char* format_name() const override { return "NDX"; }
  const char* default_extension() const override { return ".ndx"; }
  IndexTag* DefineTag(const TagDefinition& definition) override;
  void Reindex() override;

  PageRef next_block() const { return next_block_; }
  void set_next_block(PageRef block) { next_block_ = block; }
  PageRef NewBlock();

 protected:
  // The header block: its last four bytes, beyond the longest key expression.
  MarkPlace mark_place() const override { return {0, kBlockSize, kBlockSize - 4}; }

 private:
  PageRef next_block_ = 1;
};

}  // namespace dbase
