// The typed field classes: how each converts its stored kind to and from the accessors.
#include <cmath>
#include <limits>

#include "dataset/database_error.h"
#include "dataset/dataset.h"
#include "dataset/date_time.h"
#include "dataset/field.h"
#include "platform/text_trim.h"

namespace quarvel {

namespace {

bool StartsWithNoCase(std::string_view word, std::string_view prefix) {
  if (prefix.empty() || prefix.size() > word.size()) return false;
  return SameName(word.substr(0, prefix.size()), prefix);
}

using dbase::platform::TrimBlanks;

int64_t RoundToInteger(double value, std::string_view text_for_error) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) {
    throw DatabaseError::Make(msg::kNotInteger, std::string(text_for_error));
  }
  return static_cast<int64_t>(std::nearbyint(value));
}

}  // namespace

// ---- text ----

std::string StringField::AsString() const {
  Variant v;
  return GetData(v) ? v.text() : std::string();
}

void StringField::SetAsString(std::string_view text) { SetData(Variant(text)); }

int64_t StringField::AsInteger() const {
  std::string text = AsString();
  if (TrimBlanks(text).empty()) return 0;
  std::optional<int64_t> v = ParseInteger(text);
  if (!v) throw DatabaseError::Make(msg::kNotInteger, text);
  return *v;
}

void StringField::SetAsInteger(int64_t value) { SetAsString(std::to_string(value)); }

double StringField::AsFloat() const {
  std::string text = AsString();
  if (TrimBlanks(text).empty()) return 0;
  std::optional<double> v = ParseNumber(text);
  if (!v) throw DatabaseError::Make(msg::kNotFloat, text);
  return *v;
}

void StringField::SetAsFloat(double value) { SetAsString(NumberText(value)); }

bool StringField::AsBoolean() const {
  std::string text = AsString();
  return !text.empty() && std::string_view("TtYy").find(text[0]) != std::string_view::npos;
}

void StringField::SetAsBoolean(bool value) { SetAsString(value ? "T" : "F"); }

DateTime StringField::AsDateTime() const {
  std::string text = AsString();
  if (TrimBlanks(text).empty()) return DateTime{};
  std::optional<DateTime> v = ParseDateTime(text);
  if (!v) throw DatabaseError::Make(msg::kNotDate, text);
  return *v;
}

void StringField::SetAsDateTime(DateTime value) { SetAsString(DateTimeText(value)); }

Variant StringField::Value() const {
  Variant v;
  return GetData(v) ? v : Variant();
}

// ---- integers ----

void IntegerField::CheckRange(int64_t value) const {
  int64_t low = std::numeric_limits<int64_t>::min(), high = std::numeric_limits<int64_t>::max();
  if (DataType() == FieldType::kSmallInt) {
    low = std::numeric_limits<int16_t>::min();
    high = std::numeric_limits<int16_t>::max();
  } else if (DataType() == FieldType::kInteger) {
    low = std::numeric_limits<int32_t>::min();
    high = std::numeric_limits<int32_t>::max();
  }
  if (value < low || value > high) throw DatabaseError::Make(msg::kFieldRange, value, FieldName(), low, high);
}

std::string IntegerField::AsString() const {
  Variant v;
  return GetData(v) ? std::to_string(v.integer()) : std::string();
}

void IntegerField::SetAsString(std::string_view text) {
  if (TrimBlanks(text).empty()) {
    Clear();
    return;
  }
  std::optional<int64_t> v = ParseInteger(text);
  if (!v) throw DatabaseError::Make(msg::kNotInteger, std::string(text));
  SetAsInteger(*v);
}

int64_t IntegerField::AsInteger() const {
  Variant v;
  return GetData(v) ? v.integer() : 0;
}

void IntegerField::SetAsInteger(int64_t value) {
  CheckRange(value);
  SetData(Variant(value));
}

double IntegerField::AsFloat() const { return static_cast<double>(AsInteger()); }

void IntegerField::SetAsFloat(double value) { SetAsInteger(RoundToInteger(value, NumberText(value))); }

bool IntegerField::AsBoolean() const { return AsInteger() != 0; }

void IntegerField::SetAsBoolean(bool value) { SetAsInteger(value ? 1 : 0); }

Variant IntegerField::Value() const {
  Variant v;
  return GetData(v) ? v : Variant();
}

// ---- floating point ----

std::string FloatField::AsString() const {
  Variant v;
  return GetData(v) ? NumberText(v.number()) : std::string();
}

void FloatField::SetAsString(std::string_view text) {
  if (TrimBlanks(text).empty()) {
    Clear();
    return;
  }
  std::optional<double> v = ParseNumber(text);
  if (!v) throw DatabaseError::Make(msg::kNotFloat, std::string(text));
  SetAsFloat(*v);
}

int64_t FloatField::AsInteger() const { return RoundToInteger(AsFloat(), AsString()); }

void FloatField::SetAsInteger(int64_t value) { SetAsFloat(static_cast<double>(value)); }

double FloatField::AsFloat() const {
  Variant v;
  return GetData(v) ? v.number() : 0.0;
}

void FloatField::SetAsFloat(double value) {
  // Infinity and NaN have no place in a numeric field.
  if (!std::isfinite(value)) throw DatabaseError::Make(msg::kNotFloat, NumberText(value));
  SetData(Variant(value));
}

Variant FloatField::Value() const {
  Variant v;
  return GetData(v) ? v : Variant();
}

// ---- logical ----

std::string BooleanField::AsString() const {
  Variant v;
  if (!GetData(v)) return "";
  return v.boolean() ? "True" : "False";
}

void BooleanField::SetAsString(std::string_view text) {
  if (text.empty()) {
    Clear();
    return;
  }
  if (StartsWithNoCase("True", text)) {
    SetAsBoolean(true);
  } else if (StartsWithNoCase("False", text)) {
    SetAsBoolean(false);
  } else {
    throw DatabaseError::Make(msg::kNotBoolean, std::string(text), FieldName());
  }
}

int64_t BooleanField::AsInteger() const { return AsBoolean() ? 1 : 0; }
void BooleanField::SetAsInteger(int64_t value) { SetAsBoolean(value != 0); }

bool BooleanField::AsBoolean() const {
  Variant v;
  return GetData(v) && v.boolean();
}

void BooleanField::SetAsBoolean(bool value) { SetData(Variant(value)); }

Variant BooleanField::Value() const {
  Variant v;
  return GetData(v) ? v : Variant();
}

// ---- dates ----

std::string DateTimeField::AsString() const {
  Variant v;
  if (!GetData(v)) return "";
  return DataType() == FieldType::kDate ? DateText(v.date_time()) : DateTimeText(v.date_time());
}

void DateTimeField::SetAsString(std::string_view text) {
  if (TrimBlanks(text).empty()) {
    Clear();
    return;
  }
  std::optional<DateTime> v = ParseDateTime(text);
  if (!v) throw DatabaseError::Make(msg::kNotDate, std::string(text));
  SetAsDateTime(*v);
}

double DateTimeField::AsFloat() const { return AsDateTime().days; }

void DateTimeField::SetAsFloat(double value) {
  if (!std::isfinite(value)) throw DatabaseError::Make(msg::kNotFloat, NumberText(value));
  SetAsDateTime(DateTime{value});
}

DateTime DateTimeField::AsDateTime() const {
  Variant v;
  return GetData(v) ? v.date_time() : DateTime{};
}

void DateTimeField::SetAsDateTime(DateTime value) { SetData(Variant(value)); }

Variant DateTimeField::Value() const {
  Variant v;
  return GetData(v) ? v : Variant();
}

// ---- memo and blob ----

std::string BlobField::AsString() const {
  std::unique_ptr<BlobStream> stream = dataset().CreateBlobStream(const_cast<BlobField&>(*this), BlobMode::kRead);
  return stream ? stream->ReadAll() : std::string();
}

void BlobField::SetAsString(std::string_view text) {
  std::unique_ptr<BlobStream> stream = dataset().CreateBlobStream(*this, BlobMode::kWrite);
  if (!stream) return;
  stream->WriteAll(text);
  stream->Flush();
}

Variant BlobField::Value() const {
  if (IsNull()) return Variant();
  return Variant(AsString());
}

}  // namespace quarvel
