// CDX index files: any number of tags in one file of 512-byte nodes. A directory tag at offset 0
// lists the tags by name; every tag, the directory included, is a tree whose keys all live in
// compact leaves (cdx_leaf.h) and whose interior entries carry their child's last key.
// Offsets are byte offsets, multiples of 512.
//
// Tag header (1024 bytes; the directory's at 0), integers little-endian:
//   0  4  offset of the root node
//   4  4  0
//   8  4  counter kept with the header (0 in a new file)
//  12  2  key length (at most 240)
//  14  1  options: 0x01 unique, 0x08 FOR condition, 0x20 compact, 0x40 compound, 0x80 directory
//  15  1  signature: 1, or 2 with the GENERAL collation
// 494  8  collation name: "GENERAL" when the tag uses it, else zeros
// 502  2  1 = descending (keys stored ascending and read backwards)
// 504  2  key expression length + 1
// 506  2  FOR expression length + 1 (1 when none)
// 510  2  key expression length + 1
// 512     key expression, NUL-terminated, then the FOR expression, NUL-terminated
// Interior node (512 bytes): attributes (2 bytes: 0 interior, 1 interior root), number of keys
// (2), left and right sibling offsets (4 each, -1 none), then from offset 12 entries of key
// length + 8 bytes: the key (blank- or zero-padded), the record number and the child offset,
// both big-endian. At most 500 div (key length + 8) entries.
// Keys: C blank-padded text; N the double made byte-comparable (sign bit set when positive,
// all bits inverted when negative, most significant byte first); D the day number (0 empty)
// as such a double. The directory's keys are the tag names (10 bytes), its record numbers the
// offsets of the tags' headers.
#pragma once

#include <memory>
#include <string>

#include "index/cdx/cdx_leaf.h"
#include "index/index_file.h"

namespace dbase {

class CDXFile;

class CDXTag final : public IndexTag {
 public:
  CDXTag(CDXFile& file, PageRef header, bool directory);

  std::string ConvertKey(const Value& value, bool search) const override;
  void ReadPage(PageRef page, IndexKey& out) override;
  void WritePage(IndexKey& page) override;
  void AllocatePage(IndexKey& page) override;
  bool PageFits(const IndexKey& page) const override;
  int SplitPoint(const IndexKey& page) const override;
  bool BuildPageFull(IndexKey& page) const override;
  void ReadHeader() override;
  void WriteHeader() override;

  void Define(const TagDefinition& definition);
  void DefineDirectory();
  void MoveHeader(PageRef header) { header_ref_ = header; }
  void SetName(const std::string& name) { name_ = name; }
  bool general() const { return general_; }

 private:
  CdxLeafParams ParamsFor(const IndexKey& page) const;
  void SetType(char type, int length);

  CDXFile& cdx_;
  bool directory_;
  bool general_ = false;
  uint32_t counter_ = 0;
};

class CDXFile final : public IndexFile {
 public:
  static constexpr int kNodeSize = 512;
  static constexpr int kTagNameLength = 10;

  CDXFile(IndexTable& table, const std::string& path, bool create);

  const char* format_name() const override { return "CDX"; }
  const char* default_extension() const override { return ".cdx"; }
  IndexTag* DefineTag(const TagDefinition& definition) override;
  void DeleteTag(const std::string& name) override;
  void Reindex() override;

  PageRef NewNode();
  CDXTag& directory() { return *directory_; }
  // A tag name as the directory stores it: upper case, blank-padded to 10.
  static std::string DirectoryKey(const std::string& name);

 protected:
  void AfterLock() override { next_free_ = -1; }
  // The directory's header (two nodes): bytes 488-491 of its unused room.
  MarkPlace mark_place() const override { return {0, 2 * kNodeSize, 488}; }

 private:
  void LoadTags();
  void CreateDirectory();
  void RemoveTag(IndexTag* tag);

  std::unique_ptr<CDXTag> directory_;
  int64_t next_free_ = -1;
};

}  // namespace dbase
