// qdbf sort, copy, zap, pack, encrypt and decrypt: the whole-table operations.
#include <iostream>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"

namespace qdbf {

namespace {

struct OpArgs {
  std::string table;
  std::string target;
  std::string password;
  std::string new_password;
  std::string key;
  std::string filter;
  bool descending = false;
  bool live_only = false;
  std::vector<std::string> indexes;
};

std::unique_ptr<dbase::dBHandler> OpenForOperation(const OpArgs& args, bool read_write) {
  OpenOptions options;
  options.password = args.password;
  options.read_write = read_write;
  options.exclusive = read_write;  // rewriting operations need the table to themselves
  options.indexes = args.indexes;
  auto t = OpenTable(args.table, options);
  t->set_use_deleted(!args.live_only);
  if (!args.filter.empty()) {
    t->SetFilterActive(true);
    t->SetFilter(args.filter, false, false);
  }
  return t;
}

CLI::App* AddTableArgs(CLI::App& app, const char* name, const char* help, OpArgs& args) {
  CLI::App* cmd = app.add_subcommand(name, help);
  cmd->add_option("table", args.table, "Table file")->required();
  cmd->add_option("--password", args.password, "Password of an enciphered table");
  return cmd;
}

}  // namespace

void RegisterTableOps(CLI::App& app) {
  auto sort = std::make_shared<OpArgs>();
  CLI::App* cmd = AddTableArgs(app, "sort", "Write a copy sorted by a key expression", *sort);
  cmd->add_option("target", sort->target, "New table")->required();
  cmd->add_option("--key", sort->key, "Key expression")->required();
  cmd->add_flag("--descending", sort->descending, "Sort descending");
  cmd->add_option("--filter", sort->filter, "Only records for which this expression is true");
  cmd->add_flag("--no-deleted", sort->live_only, "Leave deleted records out");
  cmd->add_option("--new-password", sort->new_password, "Encipher the copy with this password");
  cmd->callback([sort] {
    auto t = OpenForOperation(*sort, false);
    t->SortFile(sort->target, sort->new_password, sort->descending ? 3 : 2, sort->key);
  });

  auto copy = std::make_shared<OpArgs>();
  cmd = AddTableArgs(app, "copy", "Copy a table with its memos", *copy);
  cmd->add_option("target", copy->target, "New table")->required();
  cmd->add_option("--filter", copy->filter, "Only records for which this expression is true");
  cmd->add_flag("--no-deleted", copy->live_only, "Leave deleted records out");
  cmd->add_option("--new-password", copy->new_password, "Encipher the copy with this password");
  cmd->callback([copy] {
    auto t = OpenForOperation(*copy, false);
    t->CopyFile(copy->target, copy->new_password);
  });

  auto zap = std::make_shared<OpArgs>();
  cmd = AddTableArgs(app, "zap", "Remove every record (and memo)", *zap);
  AddIndexOption(*cmd, zap->indexes);
  cmd->callback([zap] { OpenForOperation(*zap, true)->Zap(); });

  auto pack = std::make_shared<OpArgs>();
  cmd = AddTableArgs(app, "pack", "Remove the deleted records, compact the memo file, rebuild the indexes", *pack);
  AddIndexOption(*cmd, pack->indexes);
  cmd->callback([pack] { OpenForOperation(*pack, true)->Pack(); });

  auto encrypt = std::make_shared<OpArgs>();
  cmd = app.add_subcommand("encrypt", "Encipher a table with a password (or change its password)");
  cmd->add_option("table", encrypt->table, "Table file")->required();
  cmd->add_option("--password", encrypt->new_password, "The password to encipher with")->required();
  cmd->add_option("--old-password", encrypt->password, "The current password of an enciphered table");
  AddIndexOption(*cmd, encrypt->indexes);
  cmd->callback([encrypt] {
    if (encrypt->new_password.empty()) throw CLI::ValidationError("--password", "must not be empty");
    OpenForOperation(*encrypt, true)->SetPassword(encrypt->new_password);
  });

  auto decrypt = std::make_shared<OpArgs>();
  cmd = AddTableArgs(app, "decrypt", "Decipher a table", *decrypt);
  cmd->get_option("--password")->required();
  AddIndexOption(*cmd, decrypt->indexes);
  cmd->callback([decrypt] { OpenForOperation(*decrypt, true)->SetPassword(""); });
}

}  // namespace qdbf
