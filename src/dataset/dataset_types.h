// The small vocabulary of the dataset framework: states, field types and kinds, record fetch
// modes and results, bookmark flags, data events and search options.
#pragma once

#include <cstdint>
#include <string>

namespace quarvel {

enum class DataSetState {
  kInactive,
  kBrowse,
  kEdit,
  kInsert,
  kSetKey,
  kCalcFields,
  kFilter,
  kNewValue,
  kInternalCalc,
};

enum class FieldType {
  kUnknown,
  kString,
  kSmallInt,  // 16 bit
  kInteger,   // 32 bit
  kLargeInt,  // 64 bit
  kFloat,
  kCurrency,
  kBoolean,
  kDate,
  kDateTime,
  kMemo,
  kBlob,
};

enum class FieldKind { kData, kCalculated, kLookup, kInternalCalc };

// What a record fetch is asked for, and what it answers.
enum class GetMode { kCurrent, kNext, kPrior };
enum class GetResult { kOk, kBof, kEof, kError };

// Where a record buffer stands: on a record, before the first, after the last, or new.
enum class BookmarkFlag : uint8_t { kCurrent = 0, kBof = 1, kEof = 2, kInserted = 3 };

enum class DataEventKind {
  kFieldChange,
  kRecordChange,
  kDataSetChange,
  kDataSetScroll,
  kLayoutChange,
  kUpdateRecord,
  kUpdateState,
  kCheckBrowseMode,
};

// A bookmark is the bytes a dataset chose for it; empty means none.
using Bookmark = std::string;

struct LocateOptions {
  bool case_insensitive = false;
  bool partial_key = false;
};

struct FilterOptions {
  bool case_insensitive = false;
  bool no_partial_compare = false;
};

// Resynchronisation of the buffer ring: exact insists on the current record; center puts it in
// the middle of the ring instead of keeping its slot.
struct ResyncMode {
  bool exact = false;
  bool center = false;
};

const char* FieldTypeName(FieldType type);
const char* StateName(DataSetState state);

}  // namespace quarvel
