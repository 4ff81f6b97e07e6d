// The new field list of a table whose structure changes: the old fields with some dropped,
// renamed or given a new type, size or decimals, and new fields added at the end. Each new field
// knows the old field its values come from. Working the list out writes nothing, so every fault
// of the changes asked for is found before any file is touched.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "dbf/dbase_dbf.h"
#include "dbf/field_spec.h"

namespace dbase {

struct FieldChanges {
  std::vector<FieldSpec> add;                              // new fields, appended in this order
  std::vector<std::string> drop;                           // old names
  std::vector<std::pair<std::string, std::string>> rename;  // old name, new name
  std::vector<FieldSpec> retype;                           // old name with its new type and size
};

struct PlannedField {
  FieldSpec field;  // name as stored (upper case, at most 10 characters)
  int source = 0;   // number of the old field its values come from; 0 for an added field
};

// The types a changed or added field may have: those the table builders write.
bool RestructurableType(char type);

// The new field list, in the old order with added fields last. Names of old fields are matched
// without regard to case. Raises EngineError (kFieldListInvalid, text naming the fault and
// `table`) for: an old name that does not exist, a field named by two changes that exclude each
// other (dropped and renamed or retyped, renamed twice, retyped twice), two fields of one stored
// name, no field left, a type builders do not write, and a binary memo (B, G) changed to or
// from another type, whose bytes no other type can hold.
std::vector<PlannedField> PlanFields(const std::vector<FieldDescriptor>& old, const FieldChanges& changes,
                                     const std::string& table);

}  // namespace dbase
