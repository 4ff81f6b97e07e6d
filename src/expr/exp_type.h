// ExpType: the type an expression node reports with each value, and the type display names
// used in messages.
#pragma once

#include <cstdint>
#include <string_view>

namespace dbase {

enum class ExpType : uint8_t {
  Unknown = 0,   // no value / unsupported
  Empty = 1,     // absent value (missing argument, empty group)
  Any = 2,       // only as a requirement: any type accepted
  Text = 3,
  Number = 4,    // double
  Integer = 5,
  Date = 6,      // Julian day number carried as a double
  DateTime = 7,
  Boolean = 8,
  Memo = 9,      // text of a field of a type the engine does not interpret
  Pointer = 10,
};

// "Unknown", "Empty", ... "Pointer"; "Invalid Value" above 10.
std::string_view ExpTypeName(ExpType type);

// Number, Integer, Date and DateTime are accepted for one another wherever a type is required.
inline bool IsNumericFamily(ExpType type) {
  return type == ExpType::Number || type == ExpType::Integer || type == ExpType::Date ||
         type == ExpType::DateTime;
}

}  // namespace dbase
