// CreateTableFromSpecs: a new, empty dBase table from field specification texts such as
// "CODIGO;C;20;0" (name, one-letter type, length, decimals).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbf/field_spec.h"

namespace quarvel {

inline constexpr const char* kFieldListInvalid = "Field list is invalid";

using dbase::FieldSpec;

// Parses one specification of the four-part form (dbase::FieldSpecForm::kFourParts); false when
// it is malformed.
bool ParseFieldSpec(const std::string& text, FieldSpec& out);

// Creates `file_name` (".DBF" added when it has no extension), replacing a file of that name.
// Table type 2 writes a dBase IV table, 3 a FoxPro table, any other value a dBase III table;
// they differ only when a memo field exists. A non-empty password enciphers the new table.
// An empty list, a malformed specification or a repeated name raise dbase::EngineError "Field
// list is invalid" and leave every file as it was; so do lengths the table format cannot hold
// (with the builder's message). True when the table file was created.
bool CreateTableFromSpecs(const std::string& file_name, const std::string& password, uint8_t table_type,
                          const std::vector<std::string>& specs);

}  // namespace quarvel
