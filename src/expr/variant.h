// Variant: the value an expression node produces: null, text, number (double) or boolean.
// A small text buffer is kept across assignments of other kinds so that a node evaluated once
// per record reuses its allocation; a large one is let go as soon as the value moves on, so that
// an expression does not hold the long texts it has finished with. Texts are counted against
// the evaluation's budget (expr/text_budget.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "expr/text_budget.h"

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

  void SetNull() {
    kind_ = Kind::Null;
    ReleaseLargeText();
  }
  void SetText(std::string_view text) {
    if (text.size() <= kKeptCapacity && text_.capacity() > kKeptCapacity) {
      ExprText fresh(text.data(), text.size());  // `text` may lie in the buffer let go
      text_.swap(fresh);
    } else {
      text_.assign(text.data(), text.size());
    }
    kind_ = Kind::Text;
  }
  void SetNumber(double number) {
    number_ = number;
    kind_ = Kind::Number;
    ReleaseLargeText();
  }
  void SetBoolean(bool flag) {
    boolean_ = flag;
    kind_ = Kind::Boolean;
    ReleaseLargeText();
  }
  // Makes the variant an empty Text and gives its buffer for in-place building.
  ExprText& MutableText() {
    if (kind_ != Kind::Text) text_.clear();
    kind_ = Kind::Text;
    return text_;
  }
  // Lets go of a text buffer above kKeptCapacity that the value no longer shows.
  void ReleaseLargeText() {
    if (text_.capacity() > kKeptCapacity && kind_ != Kind::Text) ExprText().swap(text_);
  }
  // Lets go of a large text buffer whatever the value (a scratch value that has been used).
  void Release() {
    if (text_.capacity() > kKeptCapacity) {
      ExprText().swap(text_);
      if (kind_ == Kind::Text) kind_ = Kind::Null;
    }
  }

  // The value as text: numbers in general form with up to 15 significant digits and "." as the
  // decimal point, booleans "T" or "F", null as the empty text.
  std::string ToText() const;

 private:
  static constexpr size_t kKeptCapacity = 4096;

  ExprText text_;
  double number_ = 0;
  Kind kind_ = Kind::Null;
  bool boolean_ = false;
};

// General number form with up to 15 significant digits ("0.1", "2451545", "1e+100").
std::string NumberToText(double number);

}  // namespace dbase
