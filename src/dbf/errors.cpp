// The engine's message table and the placeholder formatter.
#include "dbf/errors.h"

#include <cstring>
#include <utility>

namespace dbase {

namespace {
struct Entry {
  int number;
  const char* text;
};

constexpr Entry kTable[] = {
    {kInvalidDate, "Invalid date in field %s"},
    {kNoFieldName, "There is no field name %s"},
    {kInvalidValue, "Invalid %s value for field %s"},
    {kIncorrectType, "Field %s is the incorrect type"},
    {kRecordNotInTable, "Record number %d is not in table %s"},
    {kHeaderInvalid, "Table Header for %s is invalid"},
    {kIndexCorrupted, "Index file %s is corrupted"},
    {kNoIndexTag, "Cannot find index tag %s"},
    {kCannotLockIndexes, "Could not lock indexes for Table %s"},
    {kPasswordForPlain, "A Password is included for unencrypted file %s"},
    {kNoPassword, "No Password for encrypted file %s"},
    {kInvalidPassword, "Invalid Password for encrypted file %s"},
    {kMemoBad, "Memo record is bad in %s"},
    {kCannotLock, "Can not Lock file %s"},
    {kVariantMismatch, "Variant types mismatch for compare"},
    {kFieldListInvalid, "Invalid field list for table %s"},
    {kSortVariantType, "Variant type cannot be sorted"},
    {kSortAfterRetrieval, "Cannot add sort keys after beginning retrieval"},
    {kSortKeyLength, "Sort key length must be 1-%d bytes, is %d"},
    {kNumericOverflow, "Numeric overflow in %s"},
    {kInvalidNumber, "Invalid numeric value in field %s"},
    {kNumberTooBig, "numeric value too big in field %s"},
    {kFileNotFound, "File %s could not be found"},
    {kReadError, "Error on Read of file %s"},
    {kCloseError, "Error in Close of file %s"},
    {kRenameError, "Error on Rename of file %s"},
    {kAccessDenied, "Access denied to file %s"},
    {kCreateError, "Could not create file %s"},
    {kFullAccess, "%s requires full access to file %s"},
    {kTruncateError, "Error in Truncate of file %s"},
    {kUnlockError, "Error in Unlock of file %s"},
    {kWriteError, "Error writing to %s"},
    {kExpSyntax, "Syntax Error in expression \"%s\""},
    {kExpMissingParen, "Missing closing parentheses"},
    {kExpMissingPeriod, "Missing closing period"},
    {kExpMissingClose, "Missing closing \"%s\" on literal"},
    {kExpExpectingBool, "Expecting \".T.\" or \".F.\""},
    {kExpNoFunction, "There is no function for %s"},
    {kExpUnknownVar, "Field/variable %s is unknown"},
    {kExpCannotEvaluate, "Expression cannot be evaluated"},
    {kExpTargetMissing, "Target value missing for %s operation"},
    {kExpSidesMismatch, "The two sides of an operation do not match"},
    {kExpValueInvalid, "A %s value is required but invalid"},
    {kExpArgNeeded, "%s needed for Argument %d of %s"},
    {kExpArgRange, "Argument for %s must be %s"},
    {kExpValueRequired, "A value is required for %s"},
    {kExpSameType, "All arguments for %s must be of the same type"},
    {kFilterNotBoolean, "Filter expression must return boolean result"},
    {kExpTextTooLong, "Result of %s would exceed %d characters"},
    {kExpDivisionByZero, "Division by zero"},
    {kExpInvalidArgument, "Invalid argument to %s"},
    {kFileSizeError, "Error getting FileSize for file %s"},
    {kFlushError, "Error on Flush for file %s"},
    {kExpCannotCompare, "Values of types %s and %s cannot be compared"},
};
}  // namespace

std::string_view MessageText(int number) {
  for (const Entry& e : kTable) {
    if (e.number == number) return e.text;
  }
  return {};
}

std::string FormatText(std::string_view pattern, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
      if (next < args.size()) out += args[next++];
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::string DescribeError(const std::exception& error) {
  std::string text = error.what();
  const auto* engine = dynamic_cast<const EngineError*>(&error);
  if (engine != nullptr && engine->os_error() != 0) text += std::string(" (") + std::strerror(engine->os_error()) + ")";
  return text;
}

}  // namespace dbase
