// DatabaseError: the dataset layer's error, and the texts it raises. Engine failures stay
// dbase::EngineError; what the dataset itself refuses is a DatabaseError with one of these texts.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quarvel {

namespace msg {
// Table dataset.
inline constexpr std::string_view kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr std::string_view kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr std::string_view kTableNameMissing = "Table name missing";
inline constexpr std::string_view kCannotFindFile = "Cannot find file %s";
inline constexpr std::string_view kRecordBeyondRange = "Record request beyond range of table";
inline constexpr std::string_view kRecordLocked = "Record is locked by another user";
inline constexpr std::string_view kCannotDelete = "Cannot delete the record";
inline constexpr std::string_view kCannotRecall = "Cannot recall the record";
inline constexpr std::string_view kBookmarkInvalid = "Bookmark is invalid for table ";
inline constexpr std::string_view kNotEditing = "Dataset not in edit or insert mode";
inline constexpr std::string_view kFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr std::string_view kNotIndexField = "Field '%s' is not indexed and cannot be modified";
inline constexpr std::string_view kBusyIndexing = "Table is busy building an index";
inline constexpr std::string_view kBusyCopying = "Table is busy copying";
inline constexpr std::string_view kIndexAlreadyOpen = "Index file %s already open";
inline constexpr std::string_view kErrorGetting = "Error getting %s";
inline constexpr std::string_view kCircularLink = "Circular datalinks are not allowed";
inline constexpr std::string_view kMasterNoIndex = "Master/Detail relation failed, no index open for %s";
inline constexpr std::string_view kMasterMismatch = "Master/Detail relation failed, field missmatch for %s";
inline constexpr std::string_view kRecordTooLong = "Record of table %s is too long for the record buffer";
// Generic dataset framework.
inline constexpr std::string_view kFieldNotFound = "Field '%s' not found";
inline constexpr std::string_view kDuplicateField = "Duplicate field name '%s'";
inline constexpr std::string_view kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr std::string_view kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr std::string_view kRecordNotFound = "Record not found";
inline constexpr std::string_view kFieldAccess = "Cannot access field '%s' as type %s";
inline constexpr std::string_view kNotInteger = "'%s' is not a valid integer value";
inline constexpr std::string_view kNotFloat = "'%s' is not a valid floating point value";
inline constexpr std::string_view kNotDate = "'%s' is not a valid date";
inline constexpr std::string_view kNotBoolean = "'%s' is not a valid boolean value for field '%s'";
inline constexpr std::string_view kFieldRange = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr std::string_view kNotBlobField = "Field '%s' is not a memo or blob field";
inline constexpr std::string_view kNoCalcType = "Field '%s' of this type cannot be calculated";
inline constexpr std::string_view kNotSupported = "Operation not supported";
}  // namespace msg

namespace detail {
inline std::string ToText(const std::string& s) { return s; }
inline std::string ToText(std::string_view s) { return std::string(s); }
inline std::string ToText(const char* s) { return s ? s : ""; }
template <class T>
  requires std::is_integral_v<T>
std::string ToText(T n) {
  return std::to_string(n);
}
std::string Format(std::string_view pattern, const std::vector<std::string>& args);
}  // namespace detail

class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const std::string& text) : std::runtime_error(text) {}

  // DatabaseError::Make(msg::kCannotFindFile, path) fills the "%s" and "%d" places in order.
  template <class... Args>
  static DatabaseError Make(std::string_view pattern, const Args&... args) {
    return DatabaseError(detail::Format(pattern, {detail::ToText(args)...}));
  }
};

}  // namespace quarvel
