// Field base: value access through the dataset, variant assignment, and the typed accessors a
// field type does not support.
#include "dataset/field.h"

#include "dataset/database_error.h"
#include "dataset/dataset.h"

namespace quarvel {

Field::Field(DataSet& dataset, std::string name, FieldType type, int size, FieldKind kind)
    : dataset_(&dataset), name_(std::move(name)), type_(type), size_(size), kind_(kind) {}

Field::~Field() = default;

int Field::DataSize() const {
  switch (type_) {
    case FieldType::kString:
      return size_;
    case FieldType::kBoolean:
      return 1;
    case FieldType::kSmallInt:
    case FieldType::kInteger:
    case FieldType::kLargeInt:
    case FieldType::kFloat:
    case FieldType::kCurrency:
    case FieldType::kDate:
    case FieldType::kDateTime:
    case FieldType::kMemo:
    case FieldType::kBlob:
      return 8;
    case FieldType::kUnknown:
      break;
  }
  return 0;
}

bool Field::GetData(Variant& out) const { return dataset_->GetFieldData(*this, out); }

void Field::SetData(const Variant& value) { dataset_->SetFieldData(const_cast<Field&>(*this), value); }

void Field::AccessError(const char* type_name) const { throw DatabaseError::Make(msg::kFieldAccess, name_, type_name); }

bool Field::IsNull() const {
  Variant v;
  return !GetData(v);
}

std::string Field::AsString() const { AccessError("String"); }
void Field::SetAsString(std::string_view) { AccessError("String"); }
int64_t Field::AsInteger() const { AccessError("Integer"); }
void Field::SetAsInteger(int64_t) { AccessError("Integer"); }
double Field::AsFloat() const { AccessError("Float"); }
void Field::SetAsFloat(double) { AccessError("Float"); }
bool Field::AsBoolean() const { AccessError("Boolean"); }
void Field::SetAsBoolean(bool) { AccessError("Boolean"); }
DateTime Field::AsDateTime() const { AccessError("DateTime"); }
void Field::SetAsDateTime(DateTime) { AccessError("DateTime"); }

Variant Field::Value() const {
  Variant v;
  GetData(v);
  return v;
}

void Field::SetValue(const Variant& value) {
  switch (value.kind()) {
    case Variant::Kind::kNull:
      Clear();
      break;
    case Variant::Kind::kText:
      SetAsString(value.text());
      break;
    case Variant::Kind::kInteger:
      SetAsInteger(value.integer());
      break;
    case Variant::Kind::kFloat:
      SetAsFloat(value.number());
      break;
    case Variant::Kind::kBoolean:
      SetAsBoolean(value.boolean());
      break;
    case Variant::Kind::kDateTime:
      SetAsDateTime(value.date_time());
      break;
  }
}

void Field::Clear() { SetData(Variant()); }

std::unique_ptr<Field> MakeField(DataSet& dataset, std::string name, FieldType type, int size, FieldKind kind) {
  switch (type) {
    case FieldType::kString:
      return std::make_unique<StringField>(dataset, std::move(name), type, size, kind);
    case FieldType::kSmallInt:
    case FieldType::kInteger:
    case FieldType::kLargeInt:
      return std::make_unique<IntegerField>(dataset, std::move(name), type, 0, kind);
    case FieldType::kFloat:
    case FieldType::kCurrency:
      return std::make_unique<FloatField>(dataset, std::move(name), type, 0, kind);
    case FieldType::kBoolean:
      return std::make_unique<BooleanField>(dataset, std::move(name), type, 0, kind);
    case FieldType::kDate:
    case FieldType::kDateTime:
      return std::make_unique<DateTimeField>(dataset, std::move(name), type, 0, kind);
    case FieldType::kMemo:
    case FieldType::kBlob:
      return std::make_unique<BlobField>(dataset, std::move(name), type, 0, kind);
    case FieldType::kUnknown:
      break;
  }
  return nullptr;
}

}  // namespace quarvel
