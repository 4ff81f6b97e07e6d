// Value: the engine's typed byte buffer for field values, expression results, index keys and
// sort keys, with the one three-way comparison that searching and sorting use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dbase {

// Characters that mean true / false in logical fields and texts; the first of each is what a
// logical value prints as.
inline constexpr std::string_view kTrueChars = "TtYyJj";
inline constexpr std::string_view kFalseChars = "FfNn";

enum class ValueKind : uint8_t {
  Empty = 0,
  Text = 1,     // the characters, no terminator
  Number = 2,   // an 8-byte IEEE double
  Date = 3,     // a Julian day number, 32-bit signed
  Logical = 4,  // one byte, non-zero = true
  Raw = 5,      // raw key bytes
};

// Owns its bytes; copies are deep. A value with no bytes counts as empty in every conversion
// (text "", number 0, date 0, logical false). Multi-byte kinds are stored in host byte order.
class Value {
 public:
  Value() = default;
  // Allocates `capacity` bytes up front (length 0, kind Empty).
  explicit Value(uint16_t capacity);
  Value(const Value& other) = default;
  Value(Value&& other) noexcept = default;
  Value& operator=(const Value& other) = default;
  Value& operator=(Value&& other) noexcept = default;
  ~Value() = default;

  ValueKind kind() const { return kind_; }
  void set_kind(ValueKind kind) { kind_ = kind; }
  int32_t length() const { return length_; }
  int32_t capacity() const { return static_cast<int32_t>(bytes_.size()); }
  const uint8_t* data() const { return bytes_.data(); }
  uint8_t* data() { return bytes_.data(); }
  // The bytes in use.
  std::string_view bytes() const { return {reinterpret_cast<const char*>(bytes_.data()), static_cast<size_t>(length_)}; }

  // Copies source (bytes, length, kind); false, leaving this value Empty, when there is none.
  bool Assign(const Value* source);
  // Frees the bytes: no data, length 0, kind Empty.
  void Clear();
  // Sets the length; growing beyond the capacity keeps the old bytes (new bytes are zero).
  void SetSize(int32_t n);

  void SetText(std::string_view text);
  void SetNumber(double number);
  void SetDate(int32_t jdn);
  void SetLogical(bool flag);
  void SetRaw(const void* bytes, size_t n);
  void SetRaw(std::string_view bytes) { SetRaw(bytes.data(), bytes.size()); }
  // Appends n bytes and makes the kind Raw; nothing happens for no bytes or n = 0.
  void AppendRaw(const void* bytes, size_t n);

  // Replaces the value by the Windows-1252 upper case of its text form (kind Text).
  void UpperText();
  // Text only: extends with blanks to n characters; never shortens.
  void PadText(int32_t n);
  // Text only: drops trailing blanks.
  void TrimText();

  // Conversions. AsNumber and AsDate throw ConversionError for text that is not a number / date.
  std::string AsText() const;
  double AsNumber() const;
  int32_t AsDate() const;
  bool AsLogical() const;

  // Three-way comparison of this value with `other` (-1, 0, 1). `position` receives the number
  // of bytes compared for texts (one more when all compared bytes matched). `table` maps each
  // text byte (256 entries) when given. `prefix_result` is the result when this text is a proper
  // prefix of other's. Kinds must match unless either side is Raw (which takes the other's
  // kind); otherwise EngineError kVariantMismatch.
  int Compare(const Value* other, int& position, const uint8_t* table = nullptr, int prefix_result = -1) const;
  // As Compare, but a Number compares as its eight raw bytes.
  int CompareRawNumbers(const Value* other, int& position, const uint8_t* table = nullptr,
                        int prefix_result = -1) const;

 private:
  void Store(ValueKind kind, const void* bytes, size_t n);
  // Up to `n` leading bytes copied into `out`, the rest zero: short buffers never over-read.
  void ReadLeading(void* out, size_t n) const;
  int CompareWithKind(ValueKind self_kind, const Value* other, int& position, const uint8_t* table,
                      int prefix_result) const;

  std::vector<uint8_t> bytes_;  // size() is the capacity
  int32_t length_ = 0;
  ValueKind kind_ = ValueKind::Empty;
};

}  // namespace dbase
