// qdbf create TABLE --type N SPEC...: a new empty table from field specifications.
#include <iostream>
#include <memory>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"
#include "dbf/dbf_build.h"

namespace qdbf {

void CreateTable(const std::string& table, int type, const std::vector<std::string>& specs) {
  const std::vector<FieldSpec> fields = ParseFieldSpecs(specs);
  std::unique_ptr<dbase::DBFBuild> builder;
  if (type == 2) {
    builder = std::make_unique<dbase::DB4Build>(table);
  } else if (type == 3) {
    builder = std::make_unique<dbase::DBFoxBuild>(table);
  } else {
    builder = std::make_unique<dbase::DBFBuild>(table);
  }
  for (const FieldSpec& f : fields) builder->AddField(f.name, f.type, f.length, f.decimals);
  builder->Build();
}

namespace {

struct CreateArgs {
  std::string table;
  int type = 1;
  std::vector<std::string> specs;
};

void RunCreate(const CreateArgs& args) { CreateTable(args.table, args.type, args.specs); }

}  // namespace

void RegisterCreate(CLI::App& app) {
  auto args = std::make_shared<CreateArgs>();
  CLI::App* cmd = app.add_subcommand("create", "Create an empty table");
  cmd->add_option("table", args->table, "Table file")->required();
  cmd->add_option("--type", args->type, "2 = dBase IV, 3 = FoxPro, else dBase III");
  cmd->add_option("specs", args->specs, "Field specifications NAME;TYPE;LENGTH;DECIMALS (decimals optional; D, L, M: NAME;TYPE)")->required();
  cmd->callback([args] { RunCreate(*args); });
}

}  // namespace qdbf
