// NTX index files: one tag per file, a B-tree of 1024-byte pages whose branch keys are entries
// in their own right.
//
// All integers little-endian; pages are addressed by byte offset, the header at offset 0.
// Header (1024 bytes):
//   0  2  signature: 6, or 7 when a FOR condition follows (bit 0)
//   2  2  change counter, raised by every update (1 after 32767)
//   4  4  byte offset of the root page
//   8  4  0
//  12  2  item size = key length + 8
//  14  2  key length
//  16  2  decimals of a numeric key
//  18  2  maximum keys per page
//  20  2  half the maximum
//  22 256 key expression, NUL-terminated
// 278  1  1 = unique
// 279  1  1 = descending (keys stored from high to low)
// 282 742 FOR expression, NUL-terminated, when bit 0 of the signature is set
// Page (1024 bytes):
//   0  2  number of keys n
//   2     (maximum + 1) 2-byte offsets of the item slots, in key order
//         items: 4-byte child page offset (0 in a leaf), 4-byte record number, the key
// A page is a leaf when its first item's child is 0. A branch has n keys and n + 1 children:
// item i's child holds the keys before item i's key; item n carries only the last child.
// Sizes for key length L: half = (1020 div (L + 10) - 1) div 2, maximum = 2 * half.
// Keys: C blank-padded text; N the absolute value right-aligned to L characters with the key's
// decimals, blanks as "0", each byte b of a negative value as 92 - b; D "yyyymmdd", eight blanks
// for an empty date (what other programs store and seek).
#pragma once

#include <memory>
#include <string>

#include "index/index_file.h"

namespace dbase {

class NTXFile;

class NTXTag final : public IndexTag {
 public:
  explicit NTXTag(NTXFile& file);

  std::string ConvertKey(const Value& value, bool search) const override;
  void ReadPage(PageRef page, IndexKey& out) override;
  void WritePage(IndexKey& page) override;
  void AllocatePage(IndexKey& page) override;
  bool PageFits(const IndexKey& page) const override;
  bool BuildPageFull(IndexKey& page) const override;
  void ReadHeader() override;
  void WriteHeader() override;
  bool ChangedByOther() override;

  // Sets texts, flags, type and sizes for a new definition (the table's current record
  // decides the key type).
  void Define(const TagDefinition& definition);

 private:
  void SetSizes(int key_length);
  void DecideType();

  NTXFile& ntx_;
};

class NTXFile final : public IndexFile {
 public:
  static constexpr int kPageSize = 1024;

  // Opens `path`, or with `create` makes a new empty file (DefineTag gives it its tag).
  NTXFile(IndexTable& table, const std::string& path, bool create);

  const char* format_name() const override { return "NTX"; }
  const char* default_extension() const override { return ".ntx"; }
  IndexTag* DefineTag(const TagDefinition& definition) override;
  void Reindex() override;
  bool UpdateRecord(int32_t record, bool is_new) override;

  uint16_t counter() const { return counter_; }
  void set_counter(uint16_t counter) { counter_ = counter; }
  PageRef NewPage();
  void set_next_page(uint64_t next) { next_page_ = next; }

 protected:
  void AfterLock() override;
  // The header page: its last four bytes, unused.
  MarkPlace mark_place() const override { return {0, kPageSize, kPageSize - 4}; }

 private:
  uint16_t counter_ = 1;
  uint64_t next_page_ = 0;
};

}  // namespace dbase
