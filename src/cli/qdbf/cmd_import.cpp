// qdbf import TABLE FILE --format csv|sdf|json: appends the rows of a file, each value converted
// as its field's type requires, so that `dump` then `import` gives the table back.
//   csv   a header line of field names (any case) and one row per record, quoted as dump writes;
//   sdf   every field but memos at its stored width, one line per record (dump's SDF);
//   json  one object per line, as dump writes, or one array of objects.
// The columns "_recno" (ignored) and "_deleted" (the record is appended deleted) are dump's own.
// Every row is converted once before anything is written: a row that does not convert is
// reported with its line number and skipped (exit status 1), or with --strict stops the import
// with nothing written.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"
#include "dbf/errors.h"

namespace qdbf {

namespace {

struct ImportArgs {
  std::string table;
  std::string file;
  std::string format = "csv";
  std::vector<std::string> create;
  int type = 1;
  bool strict = false;
  std::string password;
  std::vector<std::string> indexes;
};

// Column targets besides field numbers.
constexpr int kIgnoredColumn = -1;
constexpr int kDeletedColumn = -2;

// One input row: the line it starts on, the field each value goes to, values in the table's
// code page (nullopt: JSON null, stored as a blank field).
struct Row {
  int line = 0;
  std::vector<std::pair<int, std::optional<std::string>>> values;
  bool deleted = false;
  std::string error;  // a row the reader could not take apart
};

int ColumnTarget(dbase::dBHandler& t, const std::string& name) {
  if (name == "_recno") return kIgnoredColumn;
  if (name == "_deleted") return kDeletedColumn;
  const int field = t.FieldNumber(Utf8ToCp1252(name));
  if (field == 0) {
    throw std::runtime_error("Column " + name + " matches no field of " + t.file_name());
  }
  return field;
}

bool TrueText(const std::string& text) {
  return text == "true" || text == "T" || text == "t" || text == ".T.";
}

// ---- CSV ----

// Splits one CSV record, which may run over several lines inside quotes. False at the end.
bool NextCsvRecord(std::istream& in, int& line, std::vector<std::string>& cells, std::string& error) {
  cells.clear();
  error.clear();
  std::string text;
  if (!std::getline(in, text)) return false;
  ++line;
  std::string cell;
  bool quoted = false;
  bool was_quoted = false;
  for (size_t i = 0;; ++i) {
    if (i == text.size()) {
      if (quoted) {
        std::string more;
        if (!std::getline(in, more)) {
          error = "a quoted value is not closed";
          break;
        }
        ++line;
        cell += '\n';
        text = std::move(more);
        i = static_cast<size_t>(-1);
        continue;
      }
      break;
    }
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"' && cell.empty() && !was_quoted) {
      quoted = was_quoted = true;
    } else if (c == ',') {
      cells.push_back(std::move(cell));
      cell.clear();
      was_quoted = false;
    } else if (c == '\r' && i + 1 == text.size()) {
      // CR LF line ends
    } else {
      cell += c;
    }
  }
  cells.push_back(std::move(cell));
  return true;
}

std::vector<Row> ReadCsv(std::istream& in, dbase::dBHandler& t) {
  int line = 0;
  std::vector<std::string> cells;
  std::string error;
  if (!NextCsvRecord(in, line, cells, error) || !error.empty()) return {};
  std::vector<int> targets;
  for (const std::string& name : cells) targets.push_back(ColumnTarget(t, name));
  std::vector<Row> rows;
  Row row;
  row.line = line + 1;
  while (NextCsvRecord(in, line, cells, error)) {
    if (cells.size() == 1 && cells[0].empty() && error.empty()) {
      row.line = line + 1;
      continue;  // a blank line
    }
    row.error = error;
    if (row.error.empty() && cells.size() != targets.size()) {
      row.error = std::to_string(cells.size()) + " values for " + std::to_string(targets.size()) + " columns";
    }
    if (row.error.empty()) {
      for (size_t i = 0; i < cells.size(); ++i) {
        if (targets[i] == kDeletedColumn) {
          row.deleted = cells[i] == "*" || TrueText(cells[i]);
        } else if (targets[i] != kIgnoredColumn) {
          row.values.emplace_back(targets[i], Utf8ToCp1252(cells[i]));
        }
      }
    }
    rows.push_back(std::move(row));
    row = Row();
    row.line = line + 1;
  }
  return rows;
}

// ---- SDF ----

std::vector<Row> ReadSdf(std::istream& in, dbase::dBHandler& t) {
  std::vector<int> fields;
  size_t width = 0;
  for (int f = 1; f <= t.field_count(); ++f) {
    if (IsMemoField(t.FieldType(f))) continue;
    fields.push_back(f);
    width += static_cast<size_t>(t.FieldLen(f));
  }
  std::vector<Row> rows;
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty()) continue;
    Row row;
    row.line = line;
    if (text.size() != width) {
      row.error = std::to_string(text.size()) + " characters where the fields take " + std::to_string(width);
    } else {
      size_t at = 0;
      for (int f : fields) {
        const size_t length = static_cast<size_t>(t.FieldLen(f));
        row.values.emplace_back(f, text.substr(at, length));
        at += length;
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// ---- JSON ----

void JsonObjectToRow(const nlohmann::json& object, dbase::dBHandler& t, Row& row) {
  if (!object.is_object()) {
    row.error = "not a JSON object";
    return;
  }
  for (const auto& [key, value] : object.items()) {
    const int target = ColumnTarget(t, key);
    if (target == kIgnoredColumn) continue;
    if (target == kDeletedColumn) {
      row.deleted = value.is_boolean() && value.get<bool>();
      continue;
    }
    if (value.is_null()) {
      row.values.emplace_back(target, std::nullopt);
    } else if (value.is_string()) {
      row.values.emplace_back(target, Utf8ToCp1252(value.get<std::string>()));
    } else if (value.is_boolean()) {
      row.values.emplace_back(target, value.get<bool>() ? "T" : "F");
    } else if (value.is_number()) {
      row.values.emplace_back(target, value.dump());
    } else {
      row.error = "the value of " + key + " is neither text, number, logical nor null";
      return;
    }
  }
}

std::vector<Row> ReadJson(std::istream& in, dbase::dBHandler& t) {
  std::stringstream whole;
  whole << in.rdbuf();
  const std::string text = whole.str();
  std::vector<Row> rows;
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && text[first] == '[') {
    nlohmann::json array = nlohmann::json::parse(text, nullptr, false);
    if (array.is_discarded() || !array.is_array()) {
      throw std::runtime_error("The file is not a JSON array of objects");
    }
    int index = 0;
    for (const nlohmann::json& object : array) {
      Row row;
      row.line = ++index;  // the object's place in the array
      JsonObjectToRow(object, t, row);
      rows.push_back(std::move(row));
    }
    return rows;
  }
  std::istringstream lines(text);
  std::string line_text;
  for (int line = 1; std::getline(lines, line_text); ++line) {
    if (line_text.find_first_not_of(" \t\r") == std::string::npos) continue;
    Row row;
    row.line = line;
    nlohmann::json object = nlohmann::json::parse(line_text, nullptr, false);
    if (object.is_discarded()) {
      row.error = "not valid JSON";
    } else {
      JsonObjectToRow(object, t, row);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// ---- storing ----

// Puts the row's values into the record buffer. Memo values are only written when `memos` is
// set, since a memo goes to the memo file at once.
void PutRow(dbase::dBHandler& t, const Row& row, bool memos) {
  t.Blank();
  for (const auto& [field, value] : row.values) {
    const char type = t.FieldType(field);
    if (IsMemoField(type)) {
      if (memos && value && !value->empty()) t.StringPut(field, *value);
      continue;
    }
    // Empty: the blank field dBase programs tell from 0, false and a date.
    if (!value || (value->find_first_not_of(' ') == std::string::npos &&
                   (type == 'N' || type == 'F' || type == 'D' || type == 'L'))) {
      t.FieldPut(field, "");
    } else {
      t.StringPut(field, *value);
    }
  }
}

void RunImport(const ImportArgs& args) {
  if (!args.create.empty()) {
    if (std::filesystem::exists(args.table)) {
      throw std::runtime_error("Table " + args.table + " exists: --create makes a new table");
    }
    CreateTable(args.table, args.type, args.create);
  }
  std::ifstream in(args.file, std::ios::binary);
  if (!in) throw dbase::EngineError::Make(dbase::kFileNotFound, args.file);
  OpenOptions options;
  options.password = args.password;
  options.read_write = true;
  options.indexes = args.indexes;
  auto t = OpenTable(args.table, options);

  std::vector<Row> rows = args.format == "sdf"    ? ReadSdf(in, *t)
                         : args.format == "json" ? ReadJson(in, *t)
                                                  : ReadCsv(in, *t);
  // Every row converted once before anything is written.
  int skipped = 0;
  for (Row& row : rows) {
    if (row.error.empty()) {
      try {
        PutRow(*t, row, false);
      } catch (const dbase::EngineError& e) {
        row.error = e.what();
      }
    }
    if (!row.error.empty()) {
      std::cerr << args.file << ": line " << row.line << ": " << Cp1252ToUtf8(row.error) << "\n";
      ++skipped;
    }
  }
  if (skipped > 0 && args.strict) {
    throw std::runtime_error(std::to_string(skipped) + " rows do not convert; nothing imported");
  }
  int imported = 0;
  for (const Row& row : rows) {
    if (!row.error.empty()) continue;
    PutRow(*t, row, true);
    t->Append();
    if (row.deleted) t->Delete();
    ++imported;
  }
  std::cout << imported << " imported\n";
  if (skipped > 0) {
    throw std::runtime_error(std::to_string(skipped) + " rows skipped");
  }
}

}  // namespace

void RegisterImport(CLI::App& app) {
  auto args = std::make_shared<ImportArgs>();
  CLI::App* cmd = app.add_subcommand("import", "Append the rows of a CSV, SDF or JSON file");
  cmd->add_option("table", args->table, "Table file")->required();
  cmd->add_option("file", args->file, "File to read")->required();
  cmd->add_option("--format", args->format, "csv, sdf or json")->check(CLI::IsMember({"csv", "json", "sdf"}));
  cmd->add_option("--create", args->create, "Create the table first from field specifications");
  cmd->add_option("--type", args->type, "With --create: 2 = dBase IV, 3 = FoxPro, else dBase III");
  cmd->add_flag("--strict", args->strict, "Stop, with nothing imported, when a row does not convert");
  cmd->add_option("--password", args->password, "Password of an enciphered table");
  AddIndexOption(*cmd, args->indexes);
  cmd->callback([args] { RunImport(*args); });
}

}  // namespace qdbf
