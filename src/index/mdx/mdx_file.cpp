// MDXFile: file header, tag table, block allocation, defining, deleting and rebuilding tags.
#include "index/mdx/mdx_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dbf/byte_order.h"
#include "dbf/dbf_date.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "index/header_bytes.h"
#include "index/index_table.h"
#include "platform/ascii_case.h"
#include "platform/text_trim.h"

namespace dbase {

namespace {
constexpr size_t kVersion = 0;
constexpr size_t kChangeDate = 1;
constexpr size_t kTableName = 4;
constexpr size_t kTableNameSize = 16;
constexpr size_t kBlockUnits = 20;
constexpr size_t kBlockBytes = 22;
constexpr size_t kOne = 24;
constexpr size_t kTableEntries = 25;
constexpr size_t kEntryLength = 26;
constexpr size_t kTagCount = 28;
constexpr size_t kNextUnit = 32;
constexpr size_t kCreationDate = 44;
constexpr size_t kNoTagEntry = 512;
constexpr size_t kFirstEntry = 544;
constexpr size_t kEntrySize = 32;

constexpr size_t kEntryUnit = 0;
constexpr size_t kEntryName = 4;
constexpr size_t kEntryNameSize = 11;
constexpr size_t kEntryNext = 17;
constexpr size_t kEntryTwo = 19;
constexpr size_t kEntryType = 20;

constexpr int kHeaderBytes = 2048;
constexpr int kTableNameChars = 8;

void PutToday(uint8_t* ymd) {
  uint16_t month = 0;
  uint16_t day = 0;
  uint16_t year = 0;
  const DBFDate& dates = DBFDate::Shared();
  dates.JulToParts(dates.TodayJul(), month, day, year);
  ymd[0] = static_cast<uint8_t>(year % 100);
  ymd[1] = static_cast<uint8_t>(month);
  ymd[2] = static_cast<uint8_t>(day);
}

std::vector<uint8_t> ReadHeaderBytes(IndexFile& file) {
  std::vector<uint8_t> h(kHeaderBytes);
  file.ReadBlock(0, h.data(), h.size());
  return h;
}
}  // namespace

MDXFile::MDXFile(IndexTable& table, const std::string& path, bool create) : IndexFile(table, path) {
  OpenDisk(create);
  if (!create && FileSize() > kUnit) {
    ReadFileHeader();
  } else {
    WriteFileHeader(true);
  }
  MarkProductionIfOwnName();
}

MDXFile::~MDXFile() {
  try {
    Flush();
  } catch (...) {
    // A destructor must not throw.
  }
}

void MDXFile::ReadFileHeader() {
  if (FileSize() < kHeaderBytes) Corrupted();
  const std::vector<uint8_t> h = ReadHeaderBytes(*this);
  block_units_ = GetLE16(h.data() + kBlockUnits);
  block_bytes_ = GetLE16(h.data() + kBlockBytes);
  const int count = GetLE16(h.data() + kTagCount);
  if (block_units_ < 1 || block_units_ > 64 || block_bytes_ != block_units_ * kUnit || count > kMaxTags ||
      h[kEntryLength] != kEntrySize) {
    Corrupted();
  }
  header_bytes_ = kHeaderBytes;
  for (int k = 0; k < count; ++k) {
    const uint8_t* e = h.data() + kFirstEntry + static_cast<size_t>(k) * kEntrySize;
    const PageRef unit = GetLE32(e + kEntryUnit);
    if (unit * static_cast<uint64_t>(kUnit) < static_cast<uint64_t>(header_bytes_)) Corrupted();
    auto tag = std::make_unique<MDXTag>(*this, unit);
    tag->SetName(platform::UpperAscii(GetHeaderText(e + kEntryName, kEntryNameSize)));
    tag->ReadHeader();
    AddTag(std::move(tag));
  }
}

void MDXFile::WriteFileHeader(bool creating) {
  std::vector<uint8_t> h(kHeaderBytes, 0);
  if (!creating) h = ReadHeaderBytes(*this);
  if (creating) {
    h[kVersion] = 2;
    PutToday(h.data() + kChangeDate);
    PutToday(h.data() + kCreationDate);
    const std::string name = BaseName(table().TableFileName()).substr(0, kTableNameChars);
    PutHeaderText(h.data() + kTableName, kTableNameSize, name);
    PutLE16(h.data() + kBlockUnits, static_cast<uint32_t>(block_units_));
    PutLE16(h.data() + kBlockBytes, static_cast<uint32_t>(block_bytes_));
    h[kOne] = 1;
    h[kTableEntries] = kMaxTags + 1;
    h[kEntryLength] = kEntrySize;
    h[kNoTagEntry + kEntryNext] = 1;
    next_unit_ = kHeaderBytes / kUnit;
  } else {
    PutToday(h.data() + kChangeDate);
  }
  PutLE16(h.data() + kTagCount, static_cast<uint32_t>(tag_count()));
  PutLE32(h.data() + kNextUnit, static_cast<uint32_t>(NextUnit()));
  std::memset(h.data() + kFirstEntry, 0, kHeaderBytes - kFirstEntry);
  for (int k = 0; k < tag_count(); ++k) {
    uint8_t* e = h.data() + kFirstEntry + static_cast<size_t>(k) * kEntrySize;
    PutLE32(e + kEntryUnit, tag(k)->header_ref());
    PutHeaderText(e + kEntryName, kEntryNameSize, tag(k)->name());
    e[kEntryNext] = static_cast<uint8_t>(k + 2);
    e[kEntryTwo] = 2;
    e[kEntryType] = static_cast<uint8_t>(tag(k)->key_type());
  }
  WriteBlock(0, h.data(), h.size());
  changed_ = false;
}

void MDXFile::WriteTagTable() { WriteFileHeader(false); }

int64_t MDXFile::NextUnit() {
  if (next_unit_ < 0) next_unit_ = (FileSize() + kUnit - 1) / kUnit;
  return next_unit_;
}

PageRef MDXFile::NewBlock() {
  NextUnit();
  if (next_unit_ + block_units_ > 0xFFFFFFFFll) throw EngineError::Make(kWriteError, path());
  const PageRef unit = static_cast<PageRef>(next_unit_);
  next_unit_ += block_units_;
  changed_ = true;
  return unit;
}

void MDXFile::SortTags() {
  std::stable_sort(tags().begin(), tags().end(), [](const auto& a, const auto& b) {
    return platform::UpperAscii(a->name()) < platform::UpperAscii(b->name());
  });
}

IndexTag* MDXFile::DefineTag(const TagDefinition& definition) {
  const std::string name = platform::UpperAscii(std::string(platform::TrimBlanks(definition.name))).substr(0, kTagNameLength);
  if (name.empty()) throw EngineError::Make(kNoIndexTag, definition.name);
  IndexLockScope lock(*this);
  auto& list = tags();
  list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& t) { return platform::UpperAscii(t->name()) == name; }),
             list.end());
  if (tag_count() >= kMaxTags) throw EngineError::Make(kWriteError, path());
  auto tag = std::make_unique<MDXTag>(*this, NewBlock());
  tag->Define(definition);
  tag->WriteHeader();
  MDXTag* t = tag.get();
  AddTag(std::move(tag));
  SortTags();
  t->Build();
  WriteTagTable();
  return t;
}

void MDXFile::DeleteTag(const std::string& name) {
  IndexTag* found = FindTag(platform::TrimBlanks(name));
  if (found == nullptr) throw EngineError::Make(kNoIndexTag, name);
  {
    IndexLockScope lock(*this);
    auto& list = tags();
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& t) { return t.get() == found; }), list.end());
    WriteTagTable();
  }
  if (tags().empty()) Reindex();
}

void MDXFile::Reindex() {
  const bool locked = disk().LockFile();
  try {
    for (auto& t : tags()) t->Release();
    TruncateFile(static_cast<uint64_t>(header_bytes_));
    next_unit_ = header_bytes_ / kUnit;
    for (auto& t : tags()) {
      auto* tag = static_cast<MDXTag*>(t.get());
      tag->MoveHeader(NewBlock());
      tag->WriteHeader();
      tag->Build();
    }
    WriteTagTable();
    if (locked) disk().Unlock();
  } catch (...) {
    if (locked) disk().Unlock();
    throw;
  }
}

bool MDXFile::Rename(const std::string& new_base_name) {
  const bool ok = IndexFile::Rename(new_base_name);
  std::vector<uint8_t> h = ReadHeaderBytes(*this);
  std::memset(h.data() + kTableName, 0, kTableNameChars + 1);
  const std::string name = platform::UpperAscii(BaseName(new_base_name)).substr(0, kTableNameChars);
  std::memcpy(h.data() + kTableName, name.data(), name.size());
  WriteBlock(0, h.data(), h.size());
  return ok;
}

void MDXFile::Flush() {
  if (changed_ && disk().is_open() && disk().read_write()) WriteFileHeader(false);
  IndexFile::Flush();
}

}  // namespace dbase
