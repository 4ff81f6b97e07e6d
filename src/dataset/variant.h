// Variant: a field value as the dataset hands it around: absent (null), text, integer,
// floating-point number, logical, or a date-time. Dates are days since 30 December 1899 with
// the time of day as the fraction (the application's date-time scale).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace quarvel {

struct DateTime {
  double days = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

class Variant {
 public:
  enum class Kind { kNull, kText, kInteger, kFloat, kBoolean, kDateTime };

  Variant() = default;
  Variant(std::string text) : value_(std::move(text)) {}
  Variant(std::string_view text) : value_(std::string(text)) {}
  Variant(const char* text) : value_(std::string(text ? text : "")) {}
  template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
  Variant(T number) : value_(static_cast<int64_t>(number)) {}
  Variant(double number) : value_(number) {}
  Variant(bool flag) : value_(flag) {}
  Variant(DateTime date) : value_(date) {}

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool IsNull() const { return kind() == Kind::kNull; }

  // The stored alternative; std::bad_variant_access when the kind differs.
  const std::string& text() const { return std::get<std::string>(value_); }
  int64_t integer() const { return std::get<int64_t>(value_); }
  double number() const { return std::get<double>(value_); }
  bool boolean() const { return std::get<bool>(value_); }
  DateTime date_time() const { return std::get<DateTime>(value_); }

  // A display text of any kind: "" for null, "True"/"False", numbers with "." and up to 15
  // significant digits, dates in the short date format.
  std::string ToText() const;

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  std::variant<std::monostate, std::string, int64_t, double, bool, DateTime> value_;
};

}  // namespace quarvel
