// Names of field types and states, for messages.
#include "dataset/dataset_types.h"

namespace quarvel {

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::kUnknown:
      return "Unknown";
    case FieldType::kString:
      return "String";
    case FieldType::kSmallInt:
      return "SmallInt";
    case FieldType::kInteger:
      return "Integer";
    case FieldType::kLargeInt:
      return "LargeInt";
    case FieldType::kFloat:
      return "Float";
    case FieldType::kCurrency:
      return "Currency";
    case FieldType::kBoolean:
      return "Boolean";
    case FieldType::kDate:
      return "Date";
    case FieldType::kDateTime:
      return "DateTime";
    case FieldType::kMemo:
      return "Memo";
    case FieldType::kBlob:
      return "Blob";
  }
  return "Unknown";
}

const char* StateName(DataSetState state) {
  switch (state) {
    case DataSetState::kInactive:
      return "Inactive";
    case DataSetState::kBrowse:
      return "Browse";
    case DataSetState::kEdit:
      return "Edit";
    case DataSetState::kInsert:
      return "Insert";
    case DataSetState::kSetKey:
      return "SetKey";
    case DataSetState::kCalcFields:
      return "CalcFields";
    case DataSetState::kFilter:
      return "Filter";
    case DataSetState::kNewValue:
      return "NewValue";
    case DataSetState::kInternalCalc:
      return "InternalCalc";
  }
  return "Inactive";
}

}  // namespace quarvel
