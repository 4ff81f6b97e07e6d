// CDXTag: header, interior and leaf nodes and key forms of a CDX tag.
#include <algorithm>
#include <cstring>

#include "dbf/byte_order.h"
#include "dbf/errors.h"
#include "index/cdx/cdx_collation.h"
#include "index/cdx/cdx_file.h"
#include "index/cdx/cdx_leaf.h"
#include "index/header_bytes.h"
#include "index/index_table.h"
#include "platform/ascii_case.h"
#include "platform/text_trim.h"

namespace dbase {

namespace {
constexpr size_t kRoot = 0;
constexpr size_t kCounter = 8;
constexpr size_t kKeyLength = 12;
constexpr size_t kOptions = 14;
constexpr size_t kSignature = 15;
constexpr size_t kCollation = 494;
constexpr size_t kCollationSize = 8;
constexpr size_t kDescending = 502;
constexpr size_t kKeyExpressionLength = 504;
constexpr size_t kForExpressionLength = 506;
constexpr size_t kKeyExpressionLength2 = 510;
constexpr size_t kExpressions = 512;
constexpr size_t kExpressionsSize = 512;
constexpr int kHeaderSize = 1024;

constexpr uint8_t kUnique = 0x01;
constexpr uint8_t kHasFor = 0x08;
constexpr uint8_t kTagOptions = 0x60;        // compact, compound
constexpr uint8_t kDirectoryOptions = 0xE0;  // and directory

constexpr int kAttributes = 0;
constexpr int kCount = 2;
constexpr int kLeft = 4;
constexpr int kRight = 8;
constexpr int kInteriorEntries = 12;
constexpr int kInteriorRoom = 500;
constexpr uint16_t kInterior = 0;
constexpr uint16_t kLeaf = 2;
constexpr uint16_t kRootBit = 1;

constexpr int kMaxKeyLength = 240;
constexpr int kNumberKey = 8;
constexpr char kGeneral[] = "GENERAL";
}  // namespace

CDXTag::CDXTag(CDXFile& file, PageRef header, bool directory) : IndexTag(file), cdx_(file), directory_(directory) {
  format_name_ = "CDX";
  header_ref_ = header;
  record_ordered_ = true;
  has_siblings_ = true;
  keyed_rightmost_ = true;
}

void CDXTag::SetType(char type, int length) {
  key_type_ = type;
  key_length_ = length;
  key_form_ = KeyForm::Bytes;
  fill_ = type == 'C' ? ' ' : 0;
  max_keys_ = kInteriorRoom / (length + 8);
}

void CDXTag::DefineDirectory() {
  name_.clear();
  key_expression_.clear();
  for_expression_.clear();
  SetType('C', CDXFile::kTagNameLength);
  header_changed_ = true;
}

void CDXTag::Define(const TagDefinition& definition) {
  name_ = platform::UpperAscii(std::string(platform::TrimBlanks(definition.name))).substr(0, CDXFile::kTagNameLength);
  key_expression_ = std::string(platform::TrimBlanks(definition.key_expression));
  for_expression_ = std::string(platform::TrimBlanks(definition.for_expression));
  unique_ = definition.unique;
  descending_ = definition.descending;
  reverse_ = descending_;
  general_ = false;
  counter_ = 0;
  const Value sample = SampleKeyValue();
  const char type = KeyTypeOf(sample);
  const int length = type != 'C' ? kNumberKey : sample.kind() == ValueKind::Logical ? 1 : sample.length();
  if (length < 1 || length > kMaxKeyLength) throw EngineError::Make(kSortKeyLength, kMaxKeyLength, length);
  SetType(type, length);
  CompileExpressions();
  header_changed_ = true;
}

std::string CDXTag::ConvertKey(const Value& value, bool search) const {
  const size_t length = static_cast<size_t>(key_length_);
  if (key_type_ == 'C') {
    std::string key = value.AsText();
    if (general_) key = GeneralCollationKey(key);
    if (key.size() > length) key.resize(length);
    if (!search) key.resize(length, ' ');
    return key;
  }
  double number = 0;
  try {
    if (key_type_ == 'D') {
      const double day = value.kind() == ValueKind::Number ? value.AsNumber() : value.AsDate();
      number = day > 0 ? day : 0;
    } else {
      number = value.AsNumber();
    }
  } catch (const ConversionError&) {
    number = 0;
  }
  std::string key(kNumberKey, '\0');
  PutSortableDouble(reinterpret_cast<uint8_t*>(key.data()), number);
  return key;
}

void CDXTag::ReadHeader() {
  uint8_t h[kHeaderSize];
  file_.ReadBlock(header_ref_, h, kHeaderSize);
  const PageRef root = GetLE32(h + kRoot);
  const int length = GetLE16(h + kKeyLength);
  const int64_t size = file_.FileSize();
  if (root == 0 || root % CDXFile::kNodeSize != 0 || static_cast<int64_t>(root) + CDXFile::kNodeSize > size ||
      length < 1 || length > kMaxKeyLength) {
    Corrupted();
  }
  root_ = root;
  counter_ = GetLE32(h + kCounter);
  const uint8_t options = h[kOptions];
  unique_ = (options & kUnique) != 0;
  descending_ = GetLE16(h + kDescending) != 0;
  reverse_ = descending_;
  general_ = GetHeaderText(h + kCollation, kCollationSize) == kGeneral;
  std::string key_expression = GetHeaderText(h + kExpressions, kExpressionsSize);
  std::string for_expression;
  if ((options & kHasFor) != 0 && key_expression.size() + 1 < kExpressionsSize) {
    const size_t at = kExpressions + key_expression.size() + 1;
    for_expression = GetHeaderText(h + at, kExpressionsSize - (at - kExpressions));
  }
  if (directory_) {
    SetType('C', length);
    header_changed_ = false;
    return;
  }
  if (key_expression != key_expression_ || for_expression != for_expression_ || !key_handler_) {
    key_expression_ = std::move(key_expression);
    for_expression_ = std::move(for_expression);
    const char type = KeyTypeOf(SampleKeyValue());
    if (type != 'C' && length != kNumberKey) Corrupted();
    SetType(type, length);
    CompileExpressions();
  } else {
    SetType(key_type_, length);
  }
  header_changed_ = false;
}

void CDXTag::WriteHeader() {
  uint8_t h[kHeaderSize] = {};
  PutLE32(h + kRoot, root_);
  PutLE32(h + kCounter, counter_);
  PutLE16(h + kKeyLength, static_cast<uint32_t>(key_length_));
  uint8_t options = directory_ ? kDirectoryOptions : kTagOptions;
  if (unique_) options |= kUnique;
  if (has_for()) options |= kHasFor;
  h[kOptions] = options;
  h[kSignature] = general_ ? 2 : 1;
  if (general_) PutHeaderText(h + kCollation, kCollationSize, kGeneral);
  PutLE16(h + kDescending, descending_ ? 1 : 0);
  PutLE16(h + kKeyExpressionLength, static_cast<uint32_t>(key_expression_.size() + 1));
  PutLE16(h + kForExpressionLength, static_cast<uint32_t>(for_expression_.size() + 1));
  PutLE16(h + kKeyExpressionLength2, static_cast<uint32_t>(key_expression_.size() + 1));
  const size_t key_size = std::min(key_expression_.size(), kExpressionsSize - 2);
  std::memcpy(h + kExpressions, key_expression_.data(), key_size);
  PutHeaderText(h + kExpressions + key_size + 1, kExpressionsSize - key_size - 1, for_expression_);
  file_.WriteBlock(header_ref_, h, kHeaderSize);
  header_changed_ = false;
}

// Leaves take entries wide enough for the table's record count (the directory's: the file's
// size). A leaf whose entries no longer fit at that width, rewritten only for a sibling link,
// keeps the width its own record numbers need.
CdxLeafParams CDXTag::ParamsFor(const IndexKey& page) const {
  uint32_t largest = 0;
  for (int i = 0; i < page.count(); ++i) largest = std::max(largest, static_cast<uint32_t>(page.record(i)));
  uint32_t count = directory_ ? static_cast<uint32_t>(std::max<int64_t>(file_.FileSize(), page.page + CDXFile::kNodeSize))
                              : static_cast<uint32_t>(std::max(table_.RecordCount(), 0));
  CdxLeafParams params = CdxLeafParamsFor(key_length_, std::max(count, largest));
  if (CdxLeafBytes(page, params, fill_) > kCdxLeafRoom) {
    const CdxLeafParams own = CdxLeafParamsFor(key_length_, largest);
    if (CdxLeafBytes(page, own, fill_) <= kCdxLeafRoom) params = own;
  }
  return params;
}

void CDXTag::ReadPage(PageRef page, IndexKey& out) {
  uint8_t node[CDXFile::kNodeSize];
  file_.ReadBlock(page, node, CDXFile::kNodeSize);
  const uint16_t attributes = GetLE16(node + kAttributes);
  const int n = GetLE16(node + kCount);
  out.Clear();
  out.left = GetLE32(node + kLeft);
  out.right = GetLE32(node + kRight);
  if (attributes > (kLeaf | kRootBit)) Corrupted();
  out.leaf = attributes >= kLeaf;
  if (out.leaf) {
    if (!DecodeCdxLeaf(node, key_length_, fill_, out)) Corrupted();
    return;
  }
  const int item = key_length_ + 8;
  if (kInteriorEntries + n * item > CDXFile::kNodeSize) Corrupted();
  for (int i = 0; i < n; ++i) {
    const uint8_t* p = node + kInteriorEntries + i * item;
    const PageRef child = GetBE32(p + key_length_ + 4);
    if (child == 0 || child == kNoPage) Corrupted();
    out.Append(p, static_cast<int32_t>(GetBE32(p + key_length_)), child);
  }
}

void CDXTag::WritePage(IndexKey& page) {
  uint8_t node[CDXFile::kNodeSize] = {};
  const uint16_t root_bit = page.page == root_ ? kRootBit : 0;
  PutLE16(node + kAttributes, (page.leaf ? kLeaf : kInterior) | root_bit);
  PutLE16(node + kCount, static_cast<uint32_t>(page.count()));
  PutLE32(node + kLeft, page.left);
  PutLE32(node + kRight, page.right);
  if (page.leaf) {
    if (!EncodeCdxLeaf(page, ParamsFor(page), fill_, node)) Corrupted();
  } else {
    const int item = key_length_ + 8;
    if (kInteriorEntries + page.count() * item > CDXFile::kNodeSize) Corrupted();
    for (int i = 0; i < page.count(); ++i) {
      uint8_t* p = node + kInteriorEntries + i * item;
      if (page.keyless(i)) Corrupted();
      std::memcpy(p, page.key(i), static_cast<size_t>(key_length_));
      PutBE32(p + key_length_, static_cast<uint32_t>(page.record(i)));
      PutBE32(p + key_length_ + 4, page.ref(i));
    }
  }
  file_.WriteBlock(page.page, node, CDXFile::kNodeSize);
}

void CDXTag::AllocatePage(IndexKey& page) {
  page.page = cdx_.NewNode();
  page.left = page.right = kNoPage;
}

bool CDXTag::PageFits(const IndexKey& page) const {
  if (!page.leaf) return page.count() <= max_keys_;
  return CdxLeafBytes(page, ParamsFor(page), fill_) <= kCdxLeafRoom;
}

// A leaf splits where the first part takes about half the bytes, both parts fitting when they
// can; what does not fit is split again.
int CDXTag::SplitPoint(const IndexKey& page) const {
  if (!page.leaf) return (page.count() + 1) / 2;
  const CdxLeafParams params = ParamsFor(page);
  const int total = CdxLeafBytes(page, params, fill_);
  const int n = page.count();
  int h = 1;
  while (h < n - 1 && CdxLeafBytes(page, params, fill_, 0, h) < total / 2) ++h;
  while (h > 1 && CdxLeafBytes(page, params, fill_, 0, h) > kCdxLeafRoom) --h;
  while (h < n - 1 && CdxLeafBytes(page, params, fill_, h) > kCdxLeafRoom &&
         CdxLeafBytes(page, params, fill_, 0, h + 1) <= kCdxLeafRoom) {
    ++h;
  }
  return h;
}

// A leaf being filled closes when less room is left than two more entries could need. Pages
// filled by appending are measured one new entry at a time.
bool CDXTag::BuildPageFull(IndexKey& page) const {
  if (!page.leaf) return page.count() >= max_keys_;
  const CdxLeafParams params = CdxLeafParamsFor(key_length_, static_cast<uint32_t>(std::max(table_.RecordCount(), 0)));
  if (page.measured > page.count()) page.measured = page.measured_bytes = 0;
  for (; page.measured < page.count(); ++page.measured) page.measured_bytes += CdxEntryBytes(page, page.measured, params, fill_);
  return kCdxLeafRoom - page.measured_bytes < 2 * (params.bytes + key_length_);
}

}  // namespace dbase
