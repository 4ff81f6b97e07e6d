// qdbf append TABLE NAME=VALUE...: one new record, each value stored as the field's type wants;
// an empty value leaves an N, F, D or L field blank. Fields not named hold what a blank record
// holds (0 in N and F fields).
#include <iostream>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"

namespace qdbf {

namespace {

struct AppendArgs {
  std::string table;
  std::string password;
  bool exclusive = false;
  std::vector<std::string> values;
  std::vector<std::string> indexes;
};

void RunAppend(const AppendArgs& args) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const std::string& v : args.values) {
    size_t eq = v.find('=');
    if (eq == std::string::npos || eq == 0) throw CLI::ValidationError("NAME=VALUE", "expected NAME=VALUE: " + v);
    pairs.emplace_back(v.substr(0, eq), Utf8ToCp1252(v.substr(eq + 1)));
  }
  OpenOptions options;
  options.password = args.password;
  options.read_write = true;
  options.exclusive = args.exclusive;
  options.indexes = args.indexes;
  auto t = OpenTable(args.table, options);
  t->Blank();
  for (const auto& [name, value] : pairs) {
    const int field = t->FieldByName(name).number;
    const char type = t->FieldType(field);
    // NAME= leaves a number, date or logical blank: the stored blank that dBase programs tell
    // from 0 and false.
    if (value.empty() && (type == 'N' || type == 'F' || type == 'D' || type == 'L')) {
      t->FieldPut(field, "");
    } else {
      t->StringPut(field, value);
    }
  }
  t->Append();
}

}  // namespace

void RegisterAppend(CLI::App& app) {
  auto args = std::make_shared<AppendArgs>();
  CLI::App* cmd = app.add_subcommand("append", "Append one record");
  cmd->add_option("table", args->table, "Table file")->required();
  cmd->add_option("values", args->values, "NAME=VALUE pairs");
  cmd->add_option("--password", args->password, "Password of an enciphered table");
  cmd->add_flag("--exclusive", args->exclusive, "Open the table exclusively (default: shared)");
  AddIndexOption(*cmd, args->indexes);
  cmd->callback([args] { RunAppend(*args); });
}

}  // namespace qdbf
