// NTXFile and NTXTag: header, pages and key forms of the NTX format.
#include "index/ntx/ntx_file.h"

#include <cstring>

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
constexpr size_t kSignature = 0;
constexpr size_t kCounter = 2;
constexpr size_t kRoot = 4;
constexpr size_t kItemSize = 12;
constexpr size_t kKeyLength = 14;
constexpr size_t kDecimals = 16;
constexpr size_t kMaxKeys = 18;
constexpr size_t kHalf = 20;
constexpr size_t kKeyExpression = 22;
constexpr size_t kKeyExpressionSize = 256;
constexpr size_t kUnique = 278;
constexpr size_t kDescending = 279;
constexpr size_t kForExpression = 282;
constexpr size_t kForExpressionSize = 742;
constexpr uint16_t kSignatureBase = 6;
constexpr uint16_t kSignatureFor = 1;

constexpr int kPageCount = 0;
constexpr int kSlotTable = 2;
constexpr int kItemHeader = 8;  // child offset, record number

constexpr int kPage = NTXFile::kPageSize;
}  // namespace

NTXTag::NTXTag(NTXFile& file) : IndexTag(file), ntx_(file) {
  format_name_ = "NTX";
  interior_data_ = true;
  key_form_ = KeyForm::Bytes;
  fill_ = ' ';
  name_ = platform::UpperAscii(BaseName(file.path()));
}

void NTXTag::SetSizes(int key_length) {
  key_length_ = key_length;
  const int half = (1020 / (key_length + 10) - 1) / 2;
  max_keys_ = 2 * half;
  if (key_length < 1 || max_keys_ < 2) throw EngineError::Make(kSortKeyLength, 240, key_length);
}

void NTXTag::DecideType() {
  const Value sample = SampleKeyValue();
  key_type_ = KeyTypeOf(sample);
}

void NTXTag::Define(const TagDefinition& definition) {
  key_expression_ = std::string(platform::TrimBlanks(definition.key_expression));
  for_expression_ = std::string(platform::TrimBlanks(definition.for_expression));
  unique_ = definition.unique;
  descending_ = definition.descending;
  stored_descending_ = descending_;
  const Value sample = SampleKeyValue();
  key_type_ = KeyTypeOf(sample);
  key_decimals_ = 0;
  int length = 8;
  if (key_type_ == 'C') {
    length = sample.kind() == ValueKind::Logical ? 1 : sample.length();
  } else if (key_type_ == 'N') {
    IndexField field;
    if (table_.FindField(key_expression_, &field) && (field.type == 'N' || field.type == 'F')) {
      length = field.length;
      key_decimals_ = field.decimals;
    } else {
      length = 18;
      key_decimals_ = 4;
    }
  }
  SetSizes(length);
  CompileExpressions();
  header_changed_ = true;
}

std::string NTXTag::ConvertKey(const Value& value, bool search) const {
  const size_t length = static_cast<size_t>(key_length_);
  switch (key_type_) {
    case 'N': {
      double number = 0;
      try {
        number = value.AsNumber();
      } catch (const ConversionError&) {
        number = 0;
      }
      return NtxNumberKey(number, key_length_, key_decimals_);
    }
    case 'D': {
      std::string key(length, ' ');
      try {
        const int32_t jdn = value.kind() == ValueKind::Number ? static_cast<int32_t>(value.AsNumber()) : value.AsDate();
        if (jdn > 0) key = DBFDate::Shared().JulToDTOS(jdn);
      } catch (const ConversionError&) {
        // An unreadable date indexes as the empty one.
      }
      key.resize(length, ' ');
      return key;
    }
    default: {
      std::string key = value.AsText();
      if (key.size() > length) key.resize(length);
      if (!search) key.resize(length, ' ');
      return key;
    }
  }
}

void NTXTag::ReadHeader() {
  uint8_t h[kPage];
  file_.ReadBlock(0, h, kPage);
  const uint16_t signature = GetLE16(h + kSignature);
  const int length = GetLE16(h + kKeyLength);
  const int item = GetLE16(h + kItemSize);
  const int max = GetLE16(h + kMaxKeys);
  const PageRef root = GetLE32(h + kRoot);
  const int64_t size = file_.FileSize();
  if ((signature & ~kSignatureFor) != kSignatureBase || length < 1 || item != length + kItemHeader || max < 2 ||
      2 + (int64_t{max} + 1) * (item + 2) > kPage || root < static_cast<PageRef>(kPage) ||
      static_cast<int64_t>(root) + kPage > size) {
    Corrupted();
  }
  ntx_.set_counter(GetLE16(h + kCounter));
  root_ = root;
  key_length_ = length;
  max_keys_ = max;
  key_decimals_ = GetLE16(h + kDecimals);
  unique_ = h[kUnique] != 0;
  descending_ = h[kDescending] != 0;
  stored_descending_ = descending_;
  std::string key_expression = GetHeaderText(h + kKeyExpression, kKeyExpressionSize);
  std::string for_expression = (signature & kSignatureFor) ? GetHeaderText(h + kForExpression, kForExpressionSize) : "";
  if (key_expression != key_expression_ || for_expression != for_expression_ || !key_handler_) {
    key_expression_ = std::move(key_expression);
    for_expression_ = std::move(for_expression);
    DecideType();
    CompileExpressions();
  }
  header_changed_ = false;
}

void NTXTag::WriteHeader() {
  uint8_t h[kPage] = {};
  PutLE16(h + kSignature, kSignatureBase | (has_for() ? kSignatureFor : 0));
  PutLE16(h + kCounter, ntx_.counter());
  PutLE32(h + kRoot, root_);
  PutLE16(h + kItemSize, static_cast<uint32_t>(key_length_ + kItemHeader));
  PutLE16(h + kKeyLength, static_cast<uint32_t>(key_length_));
  PutLE16(h + kDecimals, static_cast<uint32_t>(key_decimals_));
  PutLE16(h + kMaxKeys, static_cast<uint32_t>(max_keys_));
  PutLE16(h + kHalf, static_cast<uint32_t>(max_keys_ / 2));
  PutHeaderText(h + kKeyExpression, kKeyExpressionSize, key_expression_);
  h[kUnique] = unique_ ? 1 : 0;
  h[kDescending] = descending_ ? 1 : 0;
  if (has_for()) PutHeaderText(h + kForExpression, kForExpressionSize, for_expression_);
  file_.WriteBlock(0, h, kPage);
  header_changed_ = false;
}

bool NTXTag::ChangedByOther() {
  uint8_t h[kPage];
  file_.ReadBlock(0, h, kPage);
  return GetLE16(h + kCounter) != ntx_.counter();
}

void NTXTag::ReadPage(PageRef page, IndexKey& out) {
  uint8_t b[kPage];
  file_.ReadBlock(page, b, kPage);
  const int n = GetLE16(b + kPageCount);
  if (n > max_keys_) Corrupted();
  const int item = key_length_ + kItemHeader;
  auto item_at = [&](int slot) -> const uint8_t* {
    const int offset = GetLE16(b + kSlotTable + 2 * slot);
    if (offset < kSlotTable || offset + item > kPage) Corrupted();
    return b + offset;
  };
  out.Clear();
  if (n == 0 && GetLE16(b + kSlotTable) == 0) {  // a zero-filled empty page
    out.leaf = true;
    return;
  }
  const uint8_t* first = item_at(0);
  out.leaf = GetLE32(first) == 0;
  for (int i = 0; i < n; ++i) {
    const uint8_t* p = item_at(i);
    const PageRef child = GetLE32(p);
    const int32_t record = static_cast<int32_t>(GetLE32(p + 4));
    if (!out.leaf && child == 0) Corrupted();
    out.Append(p + kItemHeader, record, out.leaf ? static_cast<PageRef>(record) : child);
  }
  if (!out.leaf) {
    const PageRef child = GetLE32(item_at(n));
    if (child == 0) Corrupted();
    out.Append(nullptr, 0, child, true);
  }
}

void NTXTag::WritePage(IndexKey& page) {
  uint8_t b[kPage] = {};
  const int item = key_length_ + kItemHeader;
  const int slots = max_keys_ + 1;
  const int items_start = kSlotTable + 2 * slots;
  for (int i = 0; i < slots; ++i) PutLE16(b + kSlotTable + 2 * i, static_cast<uint32_t>(items_start + i * item));
  const int n = page.count();
  if (n > slots) Corrupted();
  int keys = 0;
  for (int i = 0; i < n; ++i) {
    uint8_t* p = b + items_start + i * item;
    if (!page.leaf) PutLE32(p, page.ref(i));
    if (page.keyless(i)) continue;
    PutLE32(p + 4, static_cast<uint32_t>(page.record(i)));
    std::memcpy(p + kItemHeader, page.key(i), static_cast<size_t>(key_length_));
    ++keys;
  }
  PutLE16(b + kPageCount, static_cast<uint32_t>(keys));
  file_.WriteBlock(page.page, b, kPage);
}

void NTXTag::AllocatePage(IndexKey& page) { page.page = ntx_.NewPage(); }

bool NTXTag::PageFits(const IndexKey& page) const {
  return (page.leaf ? page.count() : page.keyed_count()) <= max_keys_;
}

bool NTXTag::BuildPageFull(IndexKey& page) const {
  return (page.leaf ? page.count() : page.keyed_count()) >= max_keys_;
}

NTXFile::NTXFile(IndexTable& table, const std::string& path, bool create) : IndexFile(table, path) {
  OpenDisk(create);
  if (create) return;
  const int64_t size = FileSize();
  if (size < kPageSize) Corrupted();
  next_page_ = (static_cast<uint64_t>(size) + kPageSize - 1) / kPageSize * kPageSize;
  auto tag = std::make_unique<NTXTag>(*this);
  tag->ReadHeader();
  AddTag(std::move(tag));
}

void NTXFile::AfterLock() {
  next_page_ = (static_cast<uint64_t>(FileSize()) + kPageSize - 1) / kPageSize * kPageSize;
}

PageRef NTXFile::NewPage() {
  const uint64_t page = next_page_;
  if (page + kPageSize > 0xFFFFFFFFull) throw EngineError::Make(kWriteError, path());
  next_page_ += kPageSize;
  return static_cast<PageRef>(page);
}

IndexTag* NTXFile::DefineTag(const TagDefinition& definition) {
  const bool locked = disk().LockFile();
  try {
    tags().clear();
    TruncateFile(0);
    next_page_ = kPageSize;
    counter_ = 1;
    auto tag = std::make_unique<NTXTag>(*this);
    tag->Define(definition);
    const uint8_t zeros[kPageSize] = {};
    WriteBlock(0, zeros, kPageSize);
    NTXTag* t = tag.get();
    AddTag(std::move(tag));
    t->Build();
    if (locked) disk().Unlock();
    return t;
  } catch (...) {
    if (locked) disk().Unlock();
    throw;
  }
}

void NTXFile::Reindex() {
  if (tags().empty()) return;
  const bool locked = disk().LockFile();
  try {
    auto* tag = static_cast<NTXTag*>(tags()[0].get());
    tag->Release();
    TruncateFile(2 * kPageSize);
    counter_ = 1;
    next_page_ = kPageSize;
    // An empty root first, so that the file is a whole index while the tag is rebuilt.
    tag->MakeEmptyRoot();
    tag->Build();
    if (locked) disk().Unlock();
  } catch (...) {
    if (locked) disk().Unlock();
    throw;
  }
}

bool NTXFile::UpdateRecord(int32_t record, bool is_new) {
  if (tags().empty()) return false;
  IndexLockScope lock(*this);
  counter_ = static_cast<uint16_t>(counter_ >= 32767 ? 1 : counter_ + 1);
  tags()[0]->WriteHeader();
  return IndexFile::UpdateRecord(record, is_new);
}

}  // namespace dbase
