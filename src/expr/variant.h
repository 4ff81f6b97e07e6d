// Variant: the value an expression node produces: null, text, number (double) or boolean.
// The text buffer is kept across assignments of other kinds so that a node evaluated once per
// record reuses its allocation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dbase {

class Variant {
 public:
  enum class Kind : uint8_t { Null, Text, Number, Boolean };

  Variant() = default;
  static Variant FromText(std::string_view text) {
    Variant v;
    v.SetText(text);
    return v;
  }
  static Variant FromNumber(double number) {
    Variant v;
    v.SetNumber(number);
    return v;
  }
  static Variant FromBoolean(bool flag) {
    Variant v;
    v.SetBoolean(flag);
    return v;
  }

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::Null; }
  bool is_text() const { return kind_ == Kind::Text; }
  bool is_number() const { return kind_ == Kind::Number; }
  bool is_boolean() const { return kind_ == Kind::Boolean; }

  // The text of a Text variant; empty for any other kind.
  std::string_view text() const { return kind_ == Kind::Text ? std::string_view(text_) : std::string_view(); }
  // The number of a Number variant, the boolean of a Boolean as 1 or 0, else 0.
  double number() const {
    if (kind_ == Kind::Number) return number_;
    if (kind_ == Kind::Boolean) return boolean_ ? 1.0 : 0.0;
    return 0.0;
  }
  // The flag of a Boolean variant; false for any other kind.
  bool boolean() const { return kind_ == Kind::Boolean && boolean_; }

  void SetNull() { kind_ = Kind::Null; }
  void SetText(std::string_view text) {
    text_.assign(text.data(), text.size());
    kind_ = Kind::Text;
  }
  void SetNumber(double number) {
    number_ = number;
    kind_ = Kind::Number;
  }
  void SetBoolean(bool flag) {
    boolean_ = flag;
    kind_ = Kind::Boolean;
  }
  // Makes the variant an empty Text and gives its buffer for in-place building.
  std::string& MutableText() {
    if (kind_ != Kind::Text) text_.clear();
    kind_ = Kind::Text;
    return text_;
  }

  // The value as text: numbers in general form with up to 15 significant digits and "." as the
  // decimal point, booleans "T" or "F", null as the empty text.
  std::string ToText() const;

 private:
  std::string text_;
  double number_ = 0;
  Kind kind_ = Kind::Null;
  bool boolean_ = false;
};

// General number form with up to 15 significant digits ("0.1", "2451545", "1e+100").
std::string NumberToText(double number);

}  // namespace dbase
