// Value: storage, conversions and the three-way comparison of the engine's typed byte buffer.
#include "dbf/value.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "dbf/dbf_date.h"
#include "dbf/errors.h"
#include "platform/locale.h"

namespace dbase {

namespace {

int Sign(int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

template <class T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int32_t CheckedLength(size_t n) {
  if (n > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::length_error("Value of " + std::to_string(n) + " bytes is too large");
  }
  return static_cast<int32_t>(n);
}

[[noreturn]] void ThrowNotANumber(std::string_view text) {
  throw ConversionError("'" + std::string(text) + "' is not a valid number");
}

// Reads a decimal number: optional sign, digits with one decimal separator ('.' or the user's),
// optional exponent, blanks around it allowed. Nothing else (no "inf", no hex).
double ParseNumber(std::string_view text) {
  std::string_view t = text;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  const char user_separator = platform::DecimalSeparator();
  std::string normal;
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    if (t[i] == '-') normal += '-';
    ++i;
  }
  size_t mantissa_digits = 0;
  bool seen_separator = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') {
      normal += c;
      ++mantissa_digits;
    } else if ((c == '.' || c == user_separator) && !seen_separator) {
      normal += '.';
      seen_separator = true;
    } else {
      break;
    }
  }
  if (mantissa_digits == 0) ThrowNotANumber(text);
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    normal += 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) normal += t[i++];
    size_t exponent_digits = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++exponent_digits) normal += t[i];
    if (exponent_digits == 0) ThrowNotANumber(text);
  }
  if (i != t.size()) ThrowNotANumber(text);
  double result = 0;
  const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), result);
  if (ec != std::errc() || end != normal.data() + normal.size()) ThrowNotANumber(text);
  return result;
}

std::string FormatNumber(double v) {
  if (v == 0) v = 0;  // no "-0"
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15);
  std::string out(buffer, ec == std::errc() ? end : buffer);
  const char separator = platform::DecimalSeparator();
  if (separator != '.') {
    for (char& c : out) {
      if (c == '.') c = separator;
    }
  }
  return out;
}

}  // namespace

Value::Value(uint16_t capacity) : bytes_(capacity) {}

bool Value::Assign(const Value* source) {
  if (source == this) return true;
  Clear();
  if (source == nullptr) return false;
  bytes_ = source->bytes_;
  length_ = source->length_;
  kind_ = source->kind_;
  return true;
}

void Value::Clear() {
  std::vector<uint8_t>().swap(bytes_);
  length_ = 0;
  kind_ = ValueKind::Empty;
}

void Value::SetSize(int32_t n) {
  if (n < 0) throw std::invalid_argument("Value size " + std::to_string(n) + " is negative");
  if (static_cast<size_t>(n) > bytes_.size()) bytes_.resize(static_cast<size_t>(n));
  length_ = n;
}

void Value::Store(ValueKind kind, const void* bytes, size_t n) {
  const int32_t length = CheckedLength(n);
  if (n > bytes_.size()) {
    // A fresh buffer first: `bytes` may point into the old one.
    std::vector<uint8_t> grown(n);
    if (n != 0) std::memcpy(grown.data(), bytes, n);
    bytes_.swap(grown);
  } else if (n != 0) {
    std::memmove(bytes_.data(), bytes, n);
  }
  length_ = length;
  kind_ = kind;
}

void Value::SetText(std::string_view text) { Store(ValueKind::Text, text.data(), text.size()); }

void Value::SetNumber(double number) { Store(ValueKind::Number, &number, sizeof number); }

void Value::SetDate(int32_t jdn) { Store(ValueKind::Date, &jdn, sizeof jdn); }

void Value::SetLogical(bool flag) {
  const uint8_t byte = flag ? 1 : 0;
  Store(ValueKind::Logical, &byte, 1);
}

void Value::SetRaw(const void* bytes, size_t n) {
  if (bytes == nullptr) n = 0;
  Store(ValueKind::Raw, bytes, n);
}

void Value::AppendRaw(const void* bytes, size_t n) {
  if (bytes == nullptr || n == 0) return;
  const size_t old = static_cast<size_t>(length_);
  CheckedLength(old + n);
  // Copy first: `bytes` may point into this value's own buffer.
  const std::vector<uint8_t> tail(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + n);
  SetSize(static_cast<int32_t>(old + n));
  std::memcpy(bytes_.data() + old, tail.data(), n);
  kind_ = ValueKind::Raw;
}

void Value::UpperText() { SetText(platform::UpperText(AsText())); }

void Value::PadText(int32_t n) {
  if (kind_ != ValueKind::Text || n <= length_) return;
  const int32_t old = length_;
  SetSize(n);
  std::memset(bytes_.data() + old, ' ', static_cast<size_t>(n - old));
}

void Value::TrimText() {
  if (kind_ != ValueKind::Text) return;
  while (length_ > 0 && bytes_[static_cast<size_t>(length_) - 1] == ' ') --length_;
}

void Value::ReadLeading(void* out, size_t n) const {
  std::memset(out, 0, n);
  const size_t available = static_cast<size_t>(length_) < n ? static_cast<size_t>(length_) : n;
  if (available != 0) std::memcpy(out, bytes_.data(), available);
}

std::string Value::AsText() const {
  if (length_ == 0) return {};
  switch (kind_) {
    case ValueKind::Text:
    case ValueKind::Raw:
      return std::string(bytes());
    case ValueKind::Number: {
      double v = 0;
      ReadLeading(&v, sizeof v);
      return FormatNumber(v);
    }
    case ValueKind::Date: {
      int32_t jdn = 0;
      ReadLeading(&jdn, sizeof jdn);
      return DBFDate::Shared().JulToDTOC(jdn);
    }
    case ValueKind::Logical:
      return bytes_[0] != 0 ? "T" : "F";
    case ValueKind::Empty:
      break;
  }
  return {};
}

double Value::AsNumber() const {
  if (length_ == 0) return 0;
  switch (kind_) {
    case ValueKind::Text:
      return ParseNumber(bytes());
    case ValueKind::Number:
    case ValueKind::Raw: {
      double v = 0;
      ReadLeading(&v, sizeof v);
      return v;
    }
    case ValueKind::Date: {
      int32_t jdn = 0;
      ReadLeading(&jdn, sizeof jdn);
      return jdn;
    }
    case ValueKind::Logical:
      return bytes_[0] != 0 ? 1.0 : 0.0;
    case ValueKind::Empty:
      break;
  }
  return 0;
}

int32_t Value::AsDate() const {
  if (length_ == 0) return 0;
  const DBFDate& dates = DBFDate::Shared();
  switch (kind_) {
    case ValueKind::Text:
      return dates.TextToJul(bytes());
    case ValueKind::Number: {
      double v = 0;
      ReadLeading(&v, sizeof v);
      const double whole = std::trunc(v);
      if (!(whole >= std::numeric_limits<int32_t>::min() && whole <= std::numeric_limits<int32_t>::max())) {
        throw ConversionError(FormatNumber(v) + " is not a valid date");
      }
      // Through the stored form, so that anything at or below 0 is the empty date.
      return dates.TextToJul(dates.JulToDTOS(static_cast<int32_t>(whole)));
    }
    case ValueKind::Date:
    case ValueKind::Raw: {
      int32_t jdn = 0;
      ReadLeading(&jdn, sizeof jdn);
      return jdn;
    }
    case ValueKind::Logical:
    case ValueKind::Empty:
      break;
  }
  return 0;
}

bool Value::AsLogical() const {
  if (length_ == 0) return false;
  switch (kind_) {
    case ValueKind::Text:
      return kTrueChars.find(static_cast<char>(bytes_[0])) != std::string_view::npos;
    case ValueKind::Number: {
      double v = 0;
      ReadLeading(&v, sizeof v);
      return std::trunc(v) != 0;
    }
    case ValueKind::Logical:
    case ValueKind::Raw:
      return bytes_[0] != 0;
    case ValueKind::Date:
    case ValueKind::Empty:
      break;
  }
  return false;
}

int Value::Compare(const Value* other, int& position, const uint8_t* table, int prefix_result) const {
  return CompareWithKind(kind_, other, position, table, prefix_result);
}

int Value::CompareRawNumbers(const Value* other, int& position, const uint8_t* table, int prefix_result) const {
  return CompareWithKind(kind_ == ValueKind::Number ? ValueKind::Raw : kind_, other, position, table, prefix_result);
}

int Value::CompareWithKind(ValueKind self_kind, const Value* other, int& position, const uint8_t* table,
                           int prefix_result) const {
  position = 0;
  if (self_kind == ValueKind::Empty) return other != nullptr && other->length_ > 0 ? -1 : 0;
  if (other == nullptr) return 1;

  ValueKind kind = self_kind;
  if (self_kind == ValueKind::Raw) {
    kind = other->kind_;
  } else if (other->kind_ != ValueKind::Raw && other->kind_ != self_kind) {
    throw EngineError::Make(kVariantMismatch);
  }

  if (length_ == 0) return other->length_ > 0 ? -1 : 0;
  if (other->length_ == 0) return 1;

  int result = 0;
  switch (kind) {
    case ValueKind::Text:
    case ValueKind::Raw: {
      const bool text = kind == ValueKind::Text;
      const uint8_t* map = text ? table : nullptr;
      const int32_t shorter = length_ < other->length_ ? length_ : other->length_;
      for (int32_t i = 0; i < shorter; ++i) {
        ++position;
        uint8_t a = bytes_[static_cast<size_t>(i)];
        uint8_t b = other->bytes_[static_cast<size_t>(i)];
        if (map != nullptr) {
          a = map[a];
          b = map[b];
        }
        if (a != b) return a < b ? -1 : 1;
      }
      ++position;
      result = Sign(static_cast<int64_t>(length_) - other->length_);
      if (result < 0 && text) result = prefix_result;
      break;
    }
    case ValueKind::Number: {
      double a = 0, b = 0;
      ReadLeading(&a, sizeof a);
      other->ReadLeading(&b, sizeof b);
      result = Order(a, b);
      break;
    }
    case ValueKind::Date: {
      int32_t a = 0, b = 0;
      ReadLeading(&a, sizeof a);
      other->ReadLeading(&b, sizeof b);
      result = Order(a, b);
      break;
    }
    case ValueKind::Logical: {
      const uint8_t a = bytes_[0];
      const uint8_t b = other->bytes_[0];
      result = a == b ? 0 : (a != 0 ? 1 : -1);
      break;
    }
    case ValueKind::Empty:
      break;
  }
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

}  // namespace dbase
