// MDX index files: up to 47 tags in one file, each a tree of 1024-byte blocks with every key in
// a leaf; a branch entry carries a copy of its child's last key. The file is addressed in
// 512-byte units (block numbers are unit numbers); integers are little-endian.
//
// File header (units 0-3, 2048 bytes):
//   0  1  2
//   1  3  date of the last change: year mod 100, month, day
//   4 16  table name: its first 8 characters without extension, NUL-terminated
//  20  2  block size in units (2)
//  22  2  block size in bytes (1024)
//  24  1  1
//  25  1  table entries (48, the first naming no tag)
//  26  1  table entry length (32)
//  28  2  number of tags
//  32  4  next free unit
//  44  3  date of creation
// 512 32  entry naming no tag (its byte 17 holds 1)
// 544     one 32-byte entry per tag, in ascending order of name: 0 (4) unit of the tag's header,
//         4 (11) name NUL-terminated, 17 (1) number of the following entry, 19 (1) 2, 20 (1) key
//         type letter
// Tag header (1024 bytes):
//   0  4  root block
//   8  1  key format: 0x10, + 0x40 unique, + 0x08 descending (keys stored from high to low)
//   9  1  key type letter (C, D, N)
//  12  2  key length
//  14  2  maximum keys per block
//  18  2  item size
//  23  1  0x40 when unique
//  24 221 key expression, NUL-terminated
// 245  1  1 when there is a FOR condition
// 246  1  1
// 248  4  first block written for the tag
// 252  4  last block allocated for the tag
// 762 262 FOR expression, NUL-terminated
// Tree block: 0 (4) number of keys n, 4 (4) the block allocated before it for the tag, from 8
// items of the item size: a 4-byte number (child block in a branch, record number in a leaf)
// and the key. A block is a branch when the number of item n is not 0; it then has n keys and
// n + 1 children. Item size = key length + 4 rounded up to 4; maximum = 1016 div item size - 1.
// Keys: C blank-padded text; D the day number as a double, an empty date as 1e100; N a 12-byte
// packed decimal (key_forms.h).
#pragma once

#include <string>

#include "index/index_file.h"

namespace dbase {

class MDXFile;

class MDXTag final : public IndexTag {
 public:
  MDXTag(MDXFile& file, PageRef header);

  std::string ConvertKey(const Value& value, bool search) const override;
  void ReadPage(PageRef page, IndexKey& out) override;
  void WritePage(IndexKey& page) override;
  void AllocatePage(IndexKey& page) override;
  void ReadHeader() override;
  void WriteHeader() override;

  void Define(const TagDefinition& definition);
  void MoveHeader(PageRef header);
  void SetName(const std::string& name) { name_ = name; }

 private:
  void SetType(char type, int length);

  MDXFile& mdx_;
  int item_size_ = 0;
  PageRef first_block_ = 0;
  PageRef last_block_ = 0;
};

class MDXFile final : public IndexFile {
 public:
  static constexpr int kUnit = 512;
  static constexpr int kMaxTags = 47;
  static constexpr int kTagNameLength = 10;

  MDXFile(IndexTable& table, const std::string& path, bool create);
  ~MDXFile() override;

  const char* format_name() const override { return "MDX"; }
  const char* default_extension() const override { return ".mdx"; }
  IndexTag* DefineTag(const TagDefinition& definition) override;
  void DeleteTag(const std::string& name) override;
  void Reindex() override;
  bool Rename(const std::string& new_base_name) override;
  void Flush() override;

  int block_units() const { return block_units_; }
  int block_bytes() const { return block_bytes_; }
  PageRef NewBlock();

 protected:
  void AfterLock() override { next_unit_ = -1; }
  // The file header: bytes 508-511, the unused end of its first block.
  MarkPlace mark_place() const override { return {0, 4 * kUnit, 508}; }

 private:
  void ReadFileHeader();
  void WriteFileHeader(bool creating);
  void WriteTagTable();
  void SortTags();
  // Where the next block goes: known, or the end of the file.
  int64_t NextUnit();

  int block_units_ = 2;
  int block_bytes_ = 1024;
  int header_bytes_ = 2048;
  int64_t next_unit_ = -1;
  bool changed_ = false;
};

}  // namespace dbase
