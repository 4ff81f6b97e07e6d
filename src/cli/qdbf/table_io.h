// Shared pieces of the qdbf verbs: opening a table, text conversion for output, CSV and JSON
// quoting, parsing of field specifications.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "dbf/field_spec.h"
#include "handler/db_handler.h"
#include "platform/text_encoding.h"

namespace qdbf {

struct OpenOptions {
  std::string password;
  bool read_write = false;
  bool exclusive = false;
  // Index files opened with the table (kept up to date by every write), after the production
  // index its header announces.
  std::vector<std::string> indexes;
  bool production_index = true;
};

std::unique_ptr<dbase::dBHandler> OpenTable(const std::string& path, const OpenOptions& options);
// Adds the --index option (index files to keep up to date) to a writing verb.
void AddIndexOption(CLI::App& cmd, std::vector<std::string>& indexes);

// Table bytes are Windows-1252; JSON output and the command line are UTF-8. Command-line text
// that is not UTF-8, or has characters the code page lacks, is kept as given.
using dbase::platform::Cp1252ToUtf8;
using dbase::platform::Utf8ToCp1252;
std::string JsonString(std::string_view utf8);
// A field's number text as a JSON number (".50" -> "0.50", "+7" -> "7", "1." -> "1"); nothing
// for what is not a number ("******", "1,5", "inf"), which goes out as a string.
std::optional<std::string> JsonNumber(std::string_view text);
// Quotes a CSV value when it holds a comma, a quote or a line break.
std::string CsvValue(std::string_view text);

// Field specifications as typed on the command line (dbase::FieldSpecForm::kCommandLine):
// "NAME;T;LEN;DEC", decimals optional, the length too for D, L, M, B and G. A malformed one or
// a name given twice (as stored: upper case, 10 characters) is a usage error naming it.
using dbase::FieldSpec;
std::vector<FieldSpec> ParseFieldSpecs(const std::vector<std::string>& specs);
// Field types whose value lives in the memo file; SDF dumps and imports leave them out.
inline bool IsMemoField(char type) { return type == 'M' || type == 'B' || type == 'G'; }
// A new empty table of dialect `type` (2 dBase IV, 3 FoxPro, else dBase III) from specifications.
void CreateTable(const std::string& table, int type, const std::vector<std::string>& specs);

// The value of a field as qdbf shows it: display text, but dates as yyyymmdd (empty when blank)
// so the output does not depend on the locale.
std::string ShownValue(dbase::dBaseFld& table, int field);

}  // namespace qdbf
