// Field objects: one per column a dataset shows, with typed accessors (as text, integer, float,
// date-time, logical) and variant assignment. A field holds no value itself: every read and
// write goes through its dataset's GetFieldData / SetFieldData, so the value always lives in the
// dataset's current record buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "dataset/dataset_types.h"
#include "dataset/variant.h"

namespace quarvel {

class DataSet;
struct FieldDef;

class Field {
 public:
  Field(DataSet& dataset, std::string name, FieldType type, int size, FieldKind kind);
  virtual ~Field();
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  DataSet& dataset() const { return *dataset_; }
  const std::string& FieldName() const { return name_; }
  FieldType DataType() const { return type_; }
  int Size() const { return size_; }
  FieldKind Kind() const { return kind_; }
  // Calculated and lookup fields keep their values in the record buffer's calculated area.
  bool Calculated() const { return kind_ != FieldKind::kData; }
  // Storage field number from 1; 0 for calculated fields.
  int FieldNo() const { return field_no_; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool on) { read_only_ = on; }
  // Bytes of the value in a calculated-field area (its presence byte not counted).
  int DataSize() const;
  int calc_offset() const { return calc_offset_; }

  bool IsNull() const;
  virtual std::string AsString() const;
  virtual void SetAsString(std::string_view text);
  virtual int64_t AsInteger() const;
  virtual void SetAsInteger(int64_t value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double value);
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);
  virtual DateTime AsDateTime() const;
  virtual void SetAsDateTime(DateTime value);
  // The value in the field's own kind (null when absent).
  virtual Variant Value() const;
  // Assigns a text, integer, float, logical or date-time through the matching accessor; null
  // clears the field.
  void SetValue(const Variant& value);
  void Clear();

  // A lookup field shows `result_field` of the record of `dataset` whose `lookup_key_fields`
  // equal this dataset's `key_fields` (names separated by ";").
  struct LookupDef {
    DataSet* dataset = nullptr;
    std::string key_fields;
    std::string lookup_key_fields;
    std::string result_field;
  };
  const LookupDef& lookup() const { return lookup_; }

  // Runs before a value is stored; throwing refuses it.
  std::function<void(Field&, const Variant&)> OnValidate;
  // Runs after a value was stored.
  std::function<void(Field&)> OnChange;

  void Validate(const Variant& value) {
    if (OnValidate) OnValidate(*this, value);
  }

 protected:
  // The value from the dataset's current buffer; false when absent.
  bool GetData(Variant& out) const;
  void SetData(const Variant& value);
  [[noreturn]] void AccessError(const char* type_name) const;

 private:
  friend class DataSet;

  DataSet* dataset_;
  std::string name_;
  FieldType type_;
  int size_;
  FieldKind kind_;
  int field_no_ = 0;
  bool read_only_ = false;
  bool persistent_ = false;  // made by the caller, kept over close and open
  int calc_offset_ = 0;
  LookupDef lookup_;
};

class StringField : public Field {
 public:
  using Field::Field;
  std::string AsString() const override;
  void SetAsString(std::string_view text) override;
  int64_t AsInteger() const override;
  void SetAsInteger(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  DateTime AsDateTime() const override;
  void SetAsDateTime(DateTime value) override;
  Variant Value() const override;
};

// Small integer, integer and large integer fields.
class IntegerField : public Field {
 public:
  using Field::Field;
  std::string AsString() const override;
  void SetAsString(std::string_view text) override;
  int64_t AsInteger() const override;
  void SetAsInteger(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  Variant Value() const override;

 private:
  void CheckRange(int64_t value) const;
};

// Float and currency fields.
class FloatField : public Field {
 public:
  using Field::Field;
  std::string AsString() const override;
  void SetAsString(std::string_view text) override;
  int64_t AsInteger() const override;
  void SetAsInteger(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  Variant Value() const override;
};

class BooleanField : public Field {
 public:
  using Field::Field;
  std::string AsString() const override;
  void SetAsString(std::string_view text) override;
  int64_t AsInteger() const override;
  void SetAsInteger(int64_t value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  Variant Value() const override;
};

// Date and date-time fields.
class DateTimeField : public Field {
 public:
  using Field::Field;
  std::string AsString() const override;
  void SetAsString(std::string_view text) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  DateTime AsDateTime() const override;
  void SetAsDateTime(DateTime value) override;
  Variant Value() const override;
};

// Memo and blob fields: their content is read and written through the dataset's blob stream.
class BlobField : public Field {
 public:
  using Field::Field;
  std::string AsString() const override;
  void SetAsString(std::string_view text) override;
  Variant Value() const override;
};

// The field object class for a type.
std::unique_ptr<Field> MakeField(DataSet& dataset, std::string name, FieldType type, int size, FieldKind kind);

}  // namespace quarvel
