// NDXFile and NDXTag: header, blocks and key forms of the NDX format.
#include "index/ndx/ndx_file.h"

#include <cstring>

#include "dbf/byte_order.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "index/header_bytes.h"
#include "index/index_table.h"
#include "platform/ascii_case.h"
#include "platform/text_trim.h"

namespace dbase {

namespace {
constexpr size_t kRoot = 0;
constexpr size_t kNextBlock = 4;
constexpr size_t kTypeLetter = 9;
constexpr size_t kKeyLength = 12;
constexpr size_t kMaxKeys = 14;
constexpr size_t kKeyType = 16;
constexpr size_t kItemSize = 18;
constexpr size_t kUnique = 23;
constexpr size_t kKeyExpression = 24;
constexpr size_t kKeyExpressionSize = 488;

constexpr int kCount = 0;
constexpr int kItems = 4;
constexpr int kItemHeader = 8;  // child block, record number
constexpr int kBlock = NDXFile::kBlockSize;
constexpr int kNumberKey = 8;
constexpr int kNumberItemSize = 20;  // numeric keys take the room of 12 bytes (dates do not)
constexpr double kEmptyDate = 1e100;
}  // namespace

NDXTag::NDXTag(NDXFile& file) : IndexTag(file), ndx_(file) {
  format_name_ = "NDX";
  name_ = platform::UpperAscii(BaseName(file.path()));
}

void NDXTag::SetType(char type) {
  key_type_ = type;
  key_form_ = type == 'C' ? KeyForm::Bytes : KeyForm::DoubleLE;
  fill_ = type == 'C' ? ' ' : 0;
}

void NDXTag::Define(const TagDefinition& definition) {
  key_expression_ = std::string(platform::TrimBlanks(definition.key_expression));
  // The format stores no FOR condition and no order: every record, ascending.
  for_expression_.clear();
  unique_ = definition.unique;
  descending_ = false;
  const Value sample = SampleKeyValue();
  SetType(KeyTypeOf(sample));
  if (key_type_ == 'C') {
    key_length_ = sample.kind() == ValueKind::Logical ? 1 : sample.length();
    item_size_ = (key_length_ + kItemHeader + 3) / 4 * 4;
  } else {
    key_length_ = kNumberKey;
    item_size_ = key_type_ == 'N' ? kNumberItemSize : kNumberKey + kItemHeader;
  }
  max_keys_ = (kBlock - 2 * kItems) / item_size_;
  if (key_length_ < 1 || max_keys_ < 2) throw EngineError::Make(kSortKeyLength, 240, key_length_);
  CompileExpressions();
  header_changed_ = true;
}

std::string NDXTag::ConvertKey(const Value& value, bool search) const {
  if (key_type_ == 'C') {
    std::string key = value.AsText();
    if (key.size() > static_cast<size_t>(key_length_)) key.resize(static_cast<size_t>(key_length_));
    if (!search) key.resize(static_cast<size_t>(key_length_), ' ');
    return key;
  }
  double number = 0;
  try {
    if (key_type_ == 'D') {
      const double day = value.kind() == ValueKind::Number ? value.AsNumber() : value.AsDate();
      number = day < 0.1 ? kEmptyDate : day;
    } else {
      number = value.AsNumber();
    }
  } catch (const ConversionError&) {
    number = key_type_ == 'D' ? kEmptyDate : 0;
  }
  std::string key(kNumberKey, '\0');
  PutDoubleLE(reinterpret_cast<uint8_t*>(key.data()), number);
  return key;
}

void NDXTag::ReadHeader() {
  uint8_t h[kBlock];
  file_.ReadBlock(0, h, kBlock);
  const PageRef root = GetLE32(h + kRoot);
  const int length = GetLE16(h + kKeyLength);
  const int max = GetLE16(h + kMaxKeys);
  const int item = GetLE16(h + kItemSize);
  const int type = GetLE16(h + kKeyType);
  const int64_t blocks = file_.FileSize() / kBlock;
  // Sizes from the file are 16-bit: their products are taken in 64 bits.
  const int64_t items_end = kItems + int64_t{max} * item;
  if (length < 1 || item < length + kItemHeader || max < 2 || items_end > kBlock || type > 1 ||
      (type == 1 && length != kNumberKey) || root < 1 || static_cast<int64_t>(root) >= blocks) {
    Corrupted();
  }
  root_ = root;
  key_length_ = length;
  max_keys_ = max;
  item_size_ = item;
  unique_ = (h[kUnique] & 1) != 0;
  ndx_.set_next_block(std::max<PageRef>(GetLE32(h + kNextBlock), static_cast<PageRef>(blocks)));
  std::string key_expression = GetHeaderText(h + kKeyExpression, kKeyExpressionSize);
  if (key_expression != key_expression_ || !key_handler_) {
    key_expression_ = std::move(key_expression);
    SetType(type == 0 ? 'C' : 'N');
    if (type == 1 && KeyTypeOf(SampleKeyValue()) == 'D') SetType('D');
    CompileExpressions();
  }
  header_changed_ = false;
}

void NDXTag::WriteHeader() {
  uint8_t h[kBlock] = {};
  PutLE32(h + kRoot, root_);
  PutLE32(h + kNextBlock, ndx_.next_block());
  PutLE16(h + kKeyLength, static_cast<uint32_t>(key_length_));
  PutLE16(h + kMaxKeys, static_cast<uint32_t>(max_keys_));
  PutLE16(h + kKeyType, key_type_ == 'C' ? 0 : 1);
  // Other programs read the key type from this letter and misread character keys without it.
  h[kTypeLetter] = key_type_ == 'C' ? 'C' : 'N';
  PutLE16(h + kItemSize, static_cast<uint32_t>(item_size_));
  h[kUnique] = unique_ ? 1 : 0;
  PutHeaderText(h + kKeyExpression, kKeyExpressionSize, key_expression_);
  file_.WriteBlock(0, h, kBlock);
  header_changed_ = false;
}

void NDXTag::ReadPage(PageRef page, IndexKey& out) {
  uint8_t b[kBlock];
  file_.ReadBlock(static_cast<uint64_t>(page) * kBlock, b, kBlock);
  const uint32_t n = GetLE32(b + kCount);
  if (n > static_cast<uint32_t>(max_keys_)) Corrupted();
  out.Clear();
  out.leaf = GetLE32(b + kItems) == 0;
  const int items = static_cast<int>(n) + (out.leaf ? 0 : 1);
  if (kItems + items * item_size_ > kBlock) Corrupted();
  for (int i = 0; i < items; ++i) {
    const uint8_t* p = b + kItems + i * item_size_;
    const PageRef child = GetLE32(p);
    const int32_t record = static_cast<int32_t>(GetLE32(p + 4));
    if (out.leaf) {
      out.Append(p + kItemHeader, record, static_cast<PageRef>(record));
    } else {
      if (child == 0) Corrupted();
      out.Append(p + kItemHeader, 0, child, i == items - 1);
    }
  }
}

void NDXTag::WritePage(IndexKey& page) {
  uint8_t b[kBlock] = {};
  const int n = page.count();
  if (kItems + n * item_size_ > kBlock) Corrupted();
  for (int i = 0; i < n; ++i) {
    uint8_t* p = b + kItems + i * item_size_;
    if (page.leaf) {
      PutLE32(p + 4, static_cast<uint32_t>(page.record(i)));
    } else {
      PutLE32(p, page.ref(i));
    }
    if (!page.keyless(i) && (page.leaf || i < n - 1)) std::memcpy(p + kItemHeader, page.key(i), static_cast<size_t>(key_length_));
  }
  // A branch's last item carries only its child.
  PutLE32(b + kCount, static_cast<uint32_t>(page.leaf || n == 0 ? n : n - 1));
  file_.WriteBlock(static_cast<uint64_t>(page.page) * kBlock, b, kBlock);
}

void NDXTag::AllocatePage(IndexKey& page) {
  page.page = ndx_.NewBlock();
  header_changed_ = true;
}

NDXFile::NDXFile(IndexTable& table, const std::string& path, bool create) : IndexFile(table, path) {
  OpenDisk(create);
  if (create) return;
  if (FileSize() < 2 * kBlockSize) Corrupted();
  auto tag = std::make_unique<NDXTag>(*this);
  tag->ReadHeader();
  AddTag(std::move(tag));
}

PageRef NDXFile::NewBlock() {
  if (next_block_ >= 0x7FFFFF) throw EngineError::Make(kWriteError, path());
  return next_block_++;
}

IndexTag* NDXFile::DefineTag(const TagDefinition& definition) {
  const bool locked = disk().LockFile();
  try {
    tags().clear();
    TruncateFile(0);
    next_block_ = 1;
    auto tag = std::make_unique<NDXTag>(*this);
    tag->Define(definition);
    const uint8_t zeros[kBlockSize] = {};
    WriteBlock(0, zeros, kBlockSize);
    NDXTag* t = tag.get();
    AddTag(std::move(tag));
    t->Build();
    if (locked) disk().Unlock();
    return t;
  } catch (...) {
    if (locked) disk().Unlock();
    throw;
  }
}

void NDXFile::Reindex() {
  if (tags().empty()) return;
  const bool locked = disk().LockFile();
  try {
    auto* tag = static_cast<NDXTag*>(tags()[0].get());
    tag->Release();
    TruncateFile(2 * kBlockSize);
    next_block_ = 1;
    tag->MakeEmptyRoot();
    tag->Build();
    if (locked) disk().Unlock();
  } catch (...) {
    if (locked) disk().Unlock();
    throw;
  }
}

}  // namespace dbase
