// Engine errors: the message table (numbers 65200-65263) and the exception classes that carry
// a number and the formatted text. What reaches a user is the text exactly as formatted here.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace dbase {

// Message numbers. Numbered as the engine's string table; the texts are in errors.cpp.
enum Msg : int {
  kInvalidDate = 65200,          // "Invalid date in field %s"
  kNoFieldName = 65201,          // "There is no field name %s"
  kInvalidValue = 65202,         // "Invalid %s value for field %s"
  kIncorrectType = 65203,        // "Field %s is the incorrect type"
  kRecordNotInTable = 65205,     // "Record number %d is not in table %s"
  kHeaderInvalid = 65206,        // "Table Header for %s is invalid"
  kIndexCorrupted = 65207,       // "Index file %s is corrupted"
  kNoIndexTag = 65208,           // "Cannot find index tag %s"
  kCannotLockIndexes = 65209,    // "Could not lock indexes for Table %s"
  kPasswordForPlain = 65210,     // "A Password is included for unencrypted file %s"
  kNoPassword = 65211,           // "No Password for encrypted file %s"
  kInvalidPassword = 65212,      // "Invalid Password for encrypted file %s"
  kMemoBad = 65213,              // "Memo record is bad in %s"
  kCannotLock = 65214,           // "Can not Lock file %s"
  kVariantMismatch = 65215,      // "Variant types mismatch for compare"
  kFieldListInvalid = 65216,     // "Invalid field list for table %s"
  kSortVariantType = 65226,      // "Variant type cannot be sorted"
  kSortAfterRetrieval = 65227,   // "Cannot add sort keys after beginning retrieval"
  kSortKeyLength = 65228,        // "Sort key length must be 1-%d bytes, is %d"
  kNumericOverflow = 65229,      // "Numeric overflow in %s"
  kInvalidNumber = 65230,        // "Invalid numeric value in field %s"
  kNumberTooBig = 65231,         // "numeric value too big in field %s"
  kFileNotFound = 65232,         // "File %s could not be found"
  kReadError = 65233,            // "Error on Read of file %s"
  kCloseError = 65234,           // "Error in Close of file %s"
  kRenameError = 65235,          // "Error on Rename of file %s"
  kAccessDenied = 65236,         // "Access denied to file %s"
  kCreateError = 65237,          // "Could not create file %s"
  kFullAccess = 65238,           // "%s requires full access to file %s"
  kTruncateError = 65239,        // "Error in Truncate of file %s"
  kUnlockError = 65240,          // "Error in Unlock of file %s"
  kWriteError = 65241,           // "Error writing to %s"
  kExpSyntax = 65242,            // "Syntax Error in expression \"%s\""
  kExpMissingParen = 65243,      // "Missing closing parentheses"
  kExpMissingPeriod = 65244,     // "Missing closing period"
  kExpMissingClose = 65245,      // "Missing closing \"%s\" on literal"
  kExpExpectingBool = 65246,     // "Expecting \".T.\" or \".F.\""
  kExpNoFunction = 65247,        // "There is no function for %s"
  kExpUnknownVar = 65248,        // "Field/variable %s is unknown"
  kExpCannotEvaluate = 65249,    // "Expression cannot be evaluated"
  kExpTargetMissing = 65250,     // "Target value missing for %s operation"
  kExpSidesMismatch = 65251,     // "The two sides of an operation do not match"
  kExpValueInvalid = 65252,      // "A %s value is required but invalid"
  kExpArgNeeded = 65253,         // "%s needed for Argument %d of %s"
  kExpArgRange = 65254,          // "Argument for %s must be %s"
  kExpValueRequired = 65255,     // "A value is required for %s"
  kExpSameType = 65256,          // "All arguments for %s must be of the same type"
  kFilterNotBoolean = 65257,     // "Filter expression must return boolean result"
  kExpTextTooLong = 65258,       // "Result of %s would exceed %d characters"
  kExpDivisionByZero = 65259,    // "Division by zero"
  kExpInvalidArgument = 65260,   // "Invalid argument to %s"
  kFileSizeError = 65261,        // "Error getting FileSize for file %s"
  kFlushError = 65262,           // "Error on Flush for file %s"
  kExpCannotCompare = 65263,     // "Values of types %s and %s cannot be compared"
};

// The raw text of a message number ("%s" and "%d" placeholders); empty for an unknown number.
std::string_view MessageText(int number);

// Replaces the placeholders of `pattern` ("%s", "%d") in order with `args`.
std::string FormatText(std::string_view pattern, const std::vector<std::string>& args);

namespace detail {
inline std::string ToArg(const std::string& s) { return s; }
inline std::string ToArg(std::string_view s) { return std::string(s); }
inline std::string ToArg(const char* s) { return s ? s : ""; }
template <class T>
  requires std::is_integral_v<T>
std::string ToArg(T n) {
  return std::to_string(n);
}
}  // namespace detail

class EngineError : public std::runtime_error {
 public:
  EngineError(int number, std::string text) : std::runtime_error(std::move(text)), number_(number) {}

  // EngineError::Make(kFileNotFound, name) formats the message table entry.
  template <class... Args>
  static EngineError Make(int number, const Args&... args) {
    return EngineError(number, FormatText(MessageText(number), {detail::ToArg(args)...}));
  }

  int number() const { return number_; }
  // The system's errno behind a file error (0 when none). The message stays the engine's text;
  // DescribeError adds the system's reason where a user reads it.
  int os_error() const { return os_error_; }
  EngineError& WithOsError(int error) {
    os_error_ = error;
    return *this;
  }

 private:
  int number_;
  int os_error_ = 0;
};

class EncryptionError : public EngineError {
 public:
  using EngineError::EngineError;
  template <class... Args>
  static EncryptionError Make(int number, const Args&... args) {
    return EncryptionError(number, FormatText(MessageText(number), {detail::ToArg(args)...}));
  }
};

class ExpressionError : public EngineError {
 public:
  using EngineError::EngineError;
  template <class... Args>
  static ExpressionError Make(int number, const Args&... args) {
    return ExpressionError(number, FormatText(MessageText(number), {detail::ToArg(args)...}));
  }
};

// The message of an error for a user: the text, and for a file error the system's reason after
// it ("Error writing to /d/T.DBF (No space left on device)").
std::string DescribeError(const std::exception& error);

// The conversion error of text-to-number and text-to-date conversions (not an engine message):
// callers such as the field layer catch it and raise their own engine message.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace dbase
