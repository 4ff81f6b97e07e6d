// IndexTag: expressions, keys of records, key maintenance for written records, and the
// format hooks' defaults.
#include "index/index_tag.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "dbf/dbf_date.h"
#include "dbf/errors.h"
#include "expr/exp_handler.h"
#include "index/index_builder.h"
#include "index/index_file.h"
#include "index/index_table.h"
#include "platform/text_trim.h"

namespace dbase {

IndexTag::IndexTag(IndexFile& file) : file_(file), table_(file.table()) {}

IndexTag::~IndexTag() = default;

void IndexTag::CompileExpressions() {
  ExpUserLink* link = table_.ExpressionLink();
  key_handler_ = std::make_unique<ExpHandler>(link, false, key_expression_);
  for_handler_.reset();
  if (!for_expression_.empty()) for_handler_ = std::make_unique<ExpHandler>(link, false, for_expression_);
  // A key that is one character field of the key's length is read from the record bytes.
  fast_field_offset_ = -1;
  IndexField field;
  if (key_type_ == 'C' && fill_ == ' ' &&
      table_.FindField(platform::TrimBlanks(key_expression_), &field) && field.type == 'C' && field.length == key_length_) {
    fast_field_offset_ = field.offset;
  }
}

Value IndexTag::SampleKeyValue() {
  if (table_.CurrentRecord() <= 0 && table_.RecordCount() > 0) table_.GoRecord(1);
  ExpHandler handler(table_.ExpressionLink(), false, key_expression_);
  Value v;
  v.SetText("");
  handler.EvaluateValue(v);
  if (handler.ResultType() == ExpType::Unknown) throw ExpressionError::Make(kExpCannotEvaluate);
  return v;
}

char IndexTag::KeyTypeOf(const Value& value) {
  switch (value.kind()) {
    case ValueKind::Number:
      return 'N';
    case ValueKind::Date:
      return 'D';
    default:
      return 'C';
  }
}

std::string IndexTag::RecordKey() {
  if (fast_field_offset_ >= 0) {
    return std::string(reinterpret_cast<const char*>(table_.RecordBytes()) + fast_field_offset_, static_cast<size_t>(key_length_));
  }
  if (!key_handler_) CompileExpressions();
  scratch_.SetText("");
  key_handler_->EvaluateValue(scratch_);
  return ConvertKey(scratch_, false);
}

void IndexTag::RecordSortValue(Value& out) {
  if (fast_field_offset_ >= 0 && key_form_ == KeyForm::Bytes) {
    out.SetRaw(table_.RecordBytes() + fast_field_offset_, static_cast<size_t>(key_length_));
    return;
  }
  const std::string key = RecordKey();
  out = SortValue(reinterpret_cast<const uint8_t*>(key.data()));
}

bool IndexTag::RecordQualifies() {
  if (for_expression_.empty()) return true;
  if (!for_handler_) CompileExpressions();
  Value v;
  for_handler_->EvaluateValue(v);
  return for_handler_->ResultType() == ExpType::Boolean && v.AsLogical();
}

Value IndexTag::ValueFromText(std::string_view text) const {
  Value v;
  switch (key_type_) {
    case 'N': {
      const std::string trimmed(platform::TrimBlanks(text));
      double number = 0;
      std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), number);
      v.SetNumber(number);
      return v;
    }
    case 'D': {
      int32_t jdn = 0;
      try {
        jdn = DBFDate::Shared().TextToJul(text);
      } catch (const ConversionError&) {
        jdn = 0;
      }
      v.SetDate(jdn);
      return v;
    }
    default:
      v.SetText(text);
      return v;
  }
}

bool IndexTag::UpdateRecord(int32_t record, bool is_new) {
  const std::string new_key = RecordKey();
  const bool qualifies = RecordQualifies();
  if (is_new) return qualifies && InsertKey(new_key, record);

  std::string old_key;
  if (!table_.UsePreviousContents(true)) {
    // Without the previous contents the old entry cannot be found: insert only.
    return qualifies && !PositionOn(new_key, record) && InsertKey(new_key, record);
  }
  try {
    old_key = RecordKey();
  } catch (...) {
    table_.UsePreviousContents(false);
    throw;
  }
  table_.UsePreviousContents(false);

  Refresh();
  bool found = FindEntry(SearchKey{old_key, record, true});
  bool changed = false;
  if (found && (old_key != new_key || !qualifies)) {
    RemoveAt(path_.size() - 1);
    CollapseRoot();
    WriteChanged();
    Release();
    found = false;
    changed = true;
  }
  if (qualifies && !found) return InsertKey(new_key, record) || changed;
  if (found) {
    TakeCurrent();
    bof_ = eof_ = false;
  }
  return changed;
}

void IndexTag::Build() {
  Release();
  IndexBuilder builder(*this);
  builder.Run();
  Release();
  current_ = IndexKeyData{};
}

Value IndexTag::SortValue(const uint8_t* key) const {
  Value v;
  switch (key_form_) {
    case KeyForm::DoubleLE:
      v.SetNumber(GetDoubleLE(key));
      break;
    case KeyForm::Packed:
      v.SetNumber(GetPackedDecimal(key));
      break;
    case KeyForm::Bytes:
      v.SetRaw(key, static_cast<size_t>(key_length_));
      break;
  }
  return v;
}

void IndexTag::StoredFromSort(const Value& value, std::string& out) const {
  out.assign(static_cast<size_t>(key_length_), static_cast<char>(fill_));
  auto* bytes = reinterpret_cast<uint8_t*>(out.data());
  switch (key_form_) {
    case KeyForm::DoubleLE:
      PutDoubleLE(bytes, value.AsNumber());
      break;
    case KeyForm::Packed:
      PutPackedDecimal(bytes, value.AsNumber());
      break;
    case KeyForm::Bytes:
      std::memcpy(bytes, value.data(), std::min(out.size(), static_cast<size_t>(value.length())));
      break;
  }
}

bool IndexTag::PageFits(const IndexKey& page) const { return page.count() <= max_keys_; }

int IndexTag::SplitPoint(const IndexKey& page) const { return (page.count() + 1) / 2; }

bool IndexTag::BuildPageFull(IndexKey& page) const { return page.count() >= max_keys_; }

void IndexTag::MakeEmptyRoot() {
  IndexKey root(key_length_);
  root.leaf = true;
  AllocatePage(root);
  SetRoot(root.page);
  WritePage(root);
  WriteHeader();
  Release();
}

}  // namespace dbase
