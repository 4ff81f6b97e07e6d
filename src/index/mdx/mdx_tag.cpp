// MDXTag: tag header, tree blocks and key forms of an MDX tag.
#include <algorithm>
#include <cstring>
#include <vector>

#include "dbf/byte_order.h"
#include "dbf/errors.h"
#include "index/header_bytes.h"
#include "index/mdx/mdx_file.h"
#include "platform/ascii_case.h"
#include "platform/text_trim.h"

namespace dbase {

namespace {
constexpr size_t kRoot = 0;
constexpr size_t kKeyFormat = 8;
constexpr size_t kKeyType = 9;
constexpr size_t kKeyLength = 12;
constexpr size_t kMaxKeys = 14;
constexpr size_t kItemSize = 18;
constexpr size_t kUniqueFlag = 23;
constexpr size_t kKeyExpression = 24;
constexpr size_t kKeyExpressionSize = 221;
constexpr size_t kHasFor = 245;
constexpr size_t kOne = 246;
constexpr size_t kFirstBlock = 248;
constexpr size_t kLastBlock = 252;
constexpr size_t kForExpression = 762;
constexpr size_t kForExpressionSize = 262;

constexpr uint8_t kFormatBase = 0x10;
constexpr uint8_t kFormatUnique = 0x40;
constexpr uint8_t kFormatDescending = 0x08;

constexpr int kCount = 0;
constexpr int kChain = 4;
constexpr int kItems = 8;
constexpr int kNumberKey = 12;
constexpr int kDateKey = 8;
constexpr int kMaxKeyLength = 240;
constexpr double kEmptyDate = 1e100;
}  // namespace

MDXTag::MDXTag(MDXFile& file, PageRef header) : IndexTag(file), mdx_(file) {
  format_name_ = "MDX";
  header_ref_ = header;
}

void MDXTag::SetType(char type, int length) {
  key_type_ = type;
  key_length_ = length;
  key_form_ = type == 'C' ? KeyForm::Bytes : type == 'N' ? KeyForm::Packed : KeyForm::DoubleLE;
  fill_ = type == 'C' ? ' ' : 0;
  item_size_ = (length + 4 + 3) / 4 * 4;
  max_keys_ = (mdx_.block_bytes() - kItems) / item_size_ - 1;
}

void MDXTag::MoveHeader(PageRef header) {
  header_ref_ = header;
  first_block_ = last_block_ = 0;
}

void MDXTag::Define(const TagDefinition& definition) {
  name_ = platform::UpperAscii(std::string(platform::TrimBlanks(definition.name))).substr(0, MDXFile::kTagNameLength);
  key_expression_ = std::string(platform::TrimBlanks(definition.key_expression));
  for_expression_ = std::string(platform::TrimBlanks(definition.for_expression));
  unique_ = definition.unique;
  descending_ = definition.descending;
  stored_descending_ = descending_;
  first_block_ = last_block_ = 0;
  const Value sample = SampleKeyValue();
  const char type = KeyTypeOf(sample);
  const int length = type == 'N' ? kNumberKey : type == 'D' ? kDateKey : sample.kind() == ValueKind::Logical ? 1 : sample.length();
  if (length < 1 || length > kMaxKeyLength) throw EngineError::Make(kSortKeyLength, kMaxKeyLength, length);
  SetType(type, length);
  CompileExpressions();
  header_changed_ = true;
}

std::string MDXTag::ConvertKey(const Value& value, bool search) const {
  const size_t length = static_cast<size_t>(key_length_);
  if (key_type_ == 'C') {
    std::string key = value.AsText();
    if (key.size() > length) key.resize(length);
    if (!search) key.resize(length, ' ');
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
  std::string key(length, '\0');
  if (key_type_ == 'N') {
    PutPackedDecimal(reinterpret_cast<uint8_t*>(key.data()), number);
  } else {
    PutDoubleLE(reinterpret_cast<uint8_t*>(key.data()), number);
  }
  return key;
}

void MDXTag::ReadHeader() {
  std::vector<uint8_t> h(static_cast<size_t>(mdx_.block_bytes()));
  file_.ReadBlock(static_cast<uint64_t>(header_ref_) * MDXFile::kUnit, h.data(), h.size());
  const PageRef root = GetLE32(h.data() + kRoot);
  const char type = static_cast<char>(h[kKeyType]);
  const int length = GetLE16(h.data() + kKeyLength);
  const int max = GetLE16(h.data() + kMaxKeys);
  const int item = GetLE16(h.data() + kItemSize);
  const int64_t units = file_.FileSize() / MDXFile::kUnit;
  if ((type != 'C' && type != 'N' && type != 'D') || length < 1 || length > kMaxKeyLength ||
      (type == 'N' && length != kNumberKey) || (type == 'D' && length != kDateKey) || item < length + 4 || max < 2 ||
      kItems + int64_t{max} * item + 4 > mdx_.block_bytes() || root == 0 ||
      static_cast<int64_t>(root) + mdx_.block_units() > units) {
    Corrupted();
  }
  root_ = root;
  descending_ = (h[kKeyFormat] & kFormatDescending) != 0;
  stored_descending_ = descending_;
  unique_ = h[kUniqueFlag] != 0;
  first_block_ = GetLE32(h.data() + kFirstBlock);
  last_block_ = GetLE32(h.data() + kLastBlock);
  std::string key_expression = GetHeaderText(h.data() + kKeyExpression, kKeyExpressionSize);
  std::string for_expression = h[kHasFor] != 0 ? GetHeaderText(h.data() + kForExpression, kForExpressionSize) : "";
  SetType(type, length);
  // The file's own sizes rule.
  max_keys_ = max;
  item_size_ = item;
  if (key_expression != key_expression_ || for_expression != for_expression_ || !key_handler_) {
    key_expression_ = std::move(key_expression);
    for_expression_ = std::move(for_expression);
    CompileExpressions();
  }
  header_changed_ = false;
}

void MDXTag::WriteHeader() {
  std::vector<uint8_t> h(static_cast<size_t>(mdx_.block_bytes()), 0);
  PutLE32(h.data() + kRoot, root_);
  h[kKeyFormat] = static_cast<uint8_t>(kFormatBase | (unique_ ? kFormatUnique : 0) | (descending_ ? kFormatDescending : 0));
  h[kKeyType] = static_cast<uint8_t>(key_type_);
  PutLE16(h.data() + kKeyLength, static_cast<uint32_t>(key_length_));
  PutLE16(h.data() + kMaxKeys, static_cast<uint32_t>(max_keys_));
  PutLE16(h.data() + kItemSize, static_cast<uint32_t>(item_size_));
  h[kUniqueFlag] = unique_ ? kFormatUnique : 0;
  PutHeaderText(h.data() + kKeyExpression, kKeyExpressionSize, key_expression_);
  h[kHasFor] = has_for() ? 1 : 0;
  h[kOne] = 1;
  PutLE32(h.data() + kFirstBlock, first_block_);
  PutLE32(h.data() + kLastBlock, last_block_);
  if (has_for()) PutHeaderText(h.data() + kForExpression, kForExpressionSize, for_expression_);
  file_.WriteBlock(static_cast<uint64_t>(header_ref_) * MDXFile::kUnit, h.data(), h.size());
  header_changed_ = false;
}

void MDXTag::ReadPage(PageRef page, IndexKey& out) {
  const int size = mdx_.block_bytes();
  std::vector<uint8_t> b(static_cast<size_t>(size));
  file_.ReadBlock(static_cast<uint64_t>(page) * MDXFile::kUnit, b.data(), b.size());
  const uint32_t n = GetLE32(b.data() + kCount);
  if (n > static_cast<uint32_t>(max_keys_) || kItems + static_cast<int>(n) * item_size_ + 4 > size) Corrupted();
  out.Clear();
  out.chain = GetLE32(b.data() + kChain);
  const int keys = static_cast<int>(n);
  out.leaf = GetLE32(b.data() + kItems + keys * item_size_) == 0;
  for (int i = 0; i < keys; ++i) {
    const uint8_t* p = b.data() + kItems + i * item_size_;
    const uint32_t number = GetLE32(p);
    if (out.leaf) {
      out.Append(p + 4, static_cast<int32_t>(number), number);
    } else {
      if (number == 0) Corrupted();
      out.Append(p + 4, 0, number);
    }
  }
  if (!out.leaf) out.Append(nullptr, 0, GetLE32(b.data() + kItems + keys * item_size_), true);
}

void MDXTag::WritePage(IndexKey& page) {
  const int size = mdx_.block_bytes();
  std::vector<uint8_t> b(static_cast<size_t>(size), 0);
  const int n = page.count();
  if (kItems + n * item_size_ + 4 > size) Corrupted();
  PutLE32(b.data() + kCount, static_cast<uint32_t>(page.leaf || n == 0 ? n : n - 1));
  PutLE32(b.data() + kChain, page.chain);
  for (int i = 0; i < n; ++i) {
    uint8_t* p = b.data() + kItems + i * item_size_;
    PutLE32(p, page.leaf ? static_cast<uint32_t>(page.record(i)) : page.ref(i));
    if (!page.keyless(i) && (page.leaf || i < n - 1)) std::memcpy(p + 4, page.key(i), static_cast<size_t>(key_length_));
  }
  file_.WriteBlock(static_cast<uint64_t>(page.page) * MDXFile::kUnit, b.data(), b.size());
}

void MDXTag::AllocatePage(IndexKey& page) {
  page.page = mdx_.NewBlock();
  page.chain = last_block_;
  last_block_ = page.page;
  if (first_block_ == 0) first_block_ = page.page;
  header_changed_ = true;
}

}  // namespace dbase
