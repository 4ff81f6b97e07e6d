// Field specifications: one field of a new table written as text, "CODIGO;C;20;0" (name,
// one-letter dBase type, length, decimals). One parser for every place that takes them.
#pragma once

#include <string>
#include <string_view>

namespace dbase {

struct FieldSpec {
  std::string name;  // upper-cased
  char type = ' ';
  int length = 0;
  int decimals = 0;
};

enum class FieldSpecForm {
  // The application's creation lists: exactly four parts. Trailing blanks and semicolons are
  // dropped first; the name runs to the first ";", the type is one character followed by ";",
  // the length runs to the next ";", and the decimals are read from the first three characters
  // of the rest. "CODIGO;C;20" (no decimals) is malformed.
  kFourParts,
  // What people type on a command line: the four-part form, or with the decimals left out
  // ("PRECO;N;10" means 0 decimals), or for the types whose length is fixed (D, L, M, B, G)
  // with the length left out too ("NASCIDO;D"). The type letter may be lower case. Lengths and
  // decimals are whole non-negative numbers; anything after them is malformed.
  kCommandLine,
};

// Parses one specification into `out`; false (and `out` unchanged) when it is malformed. An
// empty name is malformed: the field would silently go missing from the table.
bool ParseFieldSpec(std::string_view text, FieldSpecForm form, FieldSpec* out);

// The name a field is stored under: upper-cased and cut to the 10 characters a descriptor
// holds. Two names equal here are one field named twice.
std::string StoredFieldName(std::string_view name);

}  // namespace dbase
