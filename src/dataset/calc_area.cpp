// Calculated-field slots: encoding of the field kinds into fixed bytes.
#include "dataset/calc_area.h"

#include <algorithm>
#include <cstring>

#include "dataset/database_error.h"

namespace quarvel {

namespace {

Variant::Kind NativeKind(FieldType type) {
  switch (type) {
    case FieldType::kString:
      return Variant::Kind::kText;
    case FieldType::kBoolean:
      return Variant::Kind::kBoolean;
    case FieldType::kSmallInt:
    case FieldType::kInteger:
    case FieldType::kLargeInt:
      return Variant::Kind::kInteger;
    case FieldType::kFloat:
    case FieldType::kCurrency:
      return Variant::Kind::kFloat;
    case FieldType::kDate:
    case FieldType::kDateTime:
      return Variant::Kind::kDateTime;
    default:
      return Variant::Kind::kNull;
  }
}

}  // namespace

int CalcSlotSize(const Field& field) { return 1 + field.DataSize(); }

bool ReadCalcValue(const uint8_t* area, const Field& field, Variant& out) {
  const uint8_t* slot = area + field.calc_offset();
  if (slot[0] == 0) return false;
  const uint8_t* data = slot + 1;
  switch (field.DataType()) {
    case FieldType::kString: {
      size_t n = 0;
      size_t size = static_cast<size_t>(field.DataSize());
      while (n < size && data[n] != 0) ++n;
      out = Variant(std::string(reinterpret_cast<const char*>(data), n));
      return true;
    }
    case FieldType::kBoolean:
      out = Variant(data[0] != 0);
      return true;
    case FieldType::kSmallInt:
    case FieldType::kInteger:
    case FieldType::kLargeInt: {
      int64_t v;
      std::memcpy(&v, data, sizeof v);
      out = Variant(v);
      return true;
    }
    case FieldType::kFloat:
    case FieldType::kCurrency: {
      double v;
      std::memcpy(&v, data, sizeof v);
      out = Variant(v);
      return true;
    }
    case FieldType::kDate:
    case FieldType::kDateTime: {
      double v;
      std::memcpy(&v, data, sizeof v);
      out = Variant(DateTime{v});
      return true;
    }
    default:
      return false;
  }
}

void WriteCalcValue(uint8_t* area, const Field& field, const Variant& value) {
  uint8_t* slot = area + field.calc_offset();
  std::memset(slot, 0, static_cast<size_t>(CalcSlotSize(field)));
  if (value.IsNull()) return;
  // A value of another kind would not fit the slot's bytes.
  if (value.kind() != NativeKind(field.DataType())) {
    throw DatabaseError::Make(msg::kFieldAccess, field.FieldName(), FieldTypeName(field.DataType()));
  }
  uint8_t* data = slot + 1;
  switch (value.kind()) {
    case Variant::Kind::kText: {
      size_t n = std::min(value.text().size(), static_cast<size_t>(field.DataSize()));
      std::memcpy(data, value.text().data(), n);
      break;
    }
    case Variant::Kind::kBoolean:
      data[0] = value.boolean() ? 1 : 0;
      break;
    case Variant::Kind::kInteger: {
      int64_t v = value.integer();
      std::memcpy(data, &v, sizeof v);
      break;
    }
    case Variant::Kind::kFloat: {
      double v = value.number();
      std::memcpy(data, &v, sizeof v);
      break;
    }
    case Variant::Kind::kDateTime: {
      double v = value.date_time().days;
      std::memcpy(data, &v, sizeof v);
      break;
    }
    case Variant::Kind::kNull:
      return;
  }
  slot[0] = 1;
}

}  // namespace quarvel
