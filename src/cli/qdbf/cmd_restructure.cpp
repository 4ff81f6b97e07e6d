// qdbf restructure TABLE [--add SPEC]... [--drop NAME]... [--rename OLD=NEW]... [--retype SPEC]...
// A new table with the changed field list and the records, memos and indexes carried over; the
// old table stays as T.BAK (its memo file as T.TBK).
#include <iostream>
#include <memory>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"
#include "handler/table_restructure.h"

namespace qdbf {

namespace {

struct RestructureArgs {
  std::string table;
  std::vector<std::string> add;
  std::vector<std::string> drop;
  std::vector<std::string> rename;
  std::vector<std::string> retype;
  bool force = false;
  int type = 0;
  std::string password;
  std::vector<std::string> indexes;
};

void PrintLosses(const std::string& table, const std::vector<dbase::CarryLoss>& losses, const char* outcome) {
  for (const dbase::CarryLoss& loss : losses) {
    std::cerr << table << ": record " << loss.record << ", field " << loss.field << ": \""
              << Cp1252ToUtf8(loss.value) << "\" " << loss.reason << outcome << "\n";
  }
}

void RunRestructure(const RestructureArgs& args) {
  dbase::FieldChanges changes;
  changes.add = ParseFieldSpecs(args.add);
  changes.retype = ParseFieldSpecs(args.retype);
  for (const std::string& name : args.drop) changes.drop.push_back(Utf8ToCp1252(name));
  for (const std::string& pair : args.rename) {
    const size_t eq = pair.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == pair.size()) {
      throw CLI::ValidationError("--rename", "expected OLD=NEW, got " + pair);
    }
    changes.rename.emplace_back(Utf8ToCp1252(pair.substr(0, eq)), Utf8ToCp1252(pair.substr(eq + 1)));
  }
  if (changes.add.empty() && changes.drop.empty() && changes.rename.empty() && changes.retype.empty()) {
    throw CLI::ValidationError("restructure", "nothing to change: give --add, --drop, --rename or --retype");
  }
  dbase::RestructureOptions options;
  options.password = args.password;
  options.index_files = args.indexes;
  options.force = args.force;
  options.dialect = args.type;
  dbase::RestructureResult result;
  try {
    result = dbase::RestructureTable(args.table, changes, options);
  } catch (const dbase::LossesRefused& e) {
    PrintLosses(args.table, e.losses(), "");
    throw std::runtime_error(std::to_string(e.losses().size()) +
                             " values would not fit their new fields; nothing changed (--force leaves them blank)");
  }
  PrintLosses(args.table, result.losses, ", left blank");
  std::cout << result.records << " records restructured; the old table is " << result.backup << "\n";
}

}  // namespace

void RegisterRestructure(CLI::App& app) {
  auto args = std::make_shared<RestructureArgs>();
  CLI::App* cmd = app.add_subcommand("restructure", "Change the fields of a table, keeping its records");
  cmd->add_option("table", args->table, "Table file")->required();
  cmd->add_option("--add", args->add, "Add a field NAME;TYPE;LENGTH;DECIMALS at the end");
  cmd->add_option("--drop", args->drop, "Drop a field");
  cmd->add_option("--rename", args->rename, "Rename a field: OLD=NEW");
  cmd->add_option("--retype", args->retype, "Give a field a new type or size: NAME;TYPE;LENGTH;DECIMALS");
  cmd->add_flag("--force", args->force, "Leave values that do not fit their new field blank, instead of refusing");
  cmd->add_option("--type", args->type, "For a table without memos: the dialect of memos added (1, 2 or 3)");
  cmd->add_option("--password", args->password, "Password of an enciphered table");
  AddIndexOption(*cmd, args->indexes);
  cmd->callback([args] { RunRestructure(*args); });
}

}  // namespace qdbf
