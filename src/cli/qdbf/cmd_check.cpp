// qdbf check|repair TABLE: whether a table, its memo file and its index files agree, and the
// repair of what can be mended without guessing. Exit status: 0 sound, 1 findings (after a
// repair: findings left), 2 usage errors and tables that cannot be read at all.
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"
#include "dbf/errors.h"
#include "handler/table_repair.h"

namespace qdbf {

namespace {

struct CheckArgs {
  std::string table;
  std::string password;
  std::vector<std::string> indexes;
  bool json = false;
};

constexpr int kExitFindings = 1;

// The check, with a table that cannot be read at all (missing, refused, no password) reported
// as a usage-level failure, so that status 1 always means "damage found".
dbase::TableCheckResult Check(const CheckArgs& args) {
  try {
    return dbase::CheckTable(args.table, args.password, args.indexes);
  } catch (const dbase::EngineError& e) {
    std::cerr << dbase::DescribeError(e) << "\n";
    throw VerbStatus{kExitUsage};
  }
}

std::string FindingLine(const dbase::TableFinding& f) {
  return Cp1252ToUtf8(dbase::FindingPlace(f)) + ": " + Cp1252ToUtf8(f.message) + " [" + f.kind +
         (f.repairable ? ", repairable" : "") + "]\n";
}

void PrintText(const dbase::TableCheckResult& result, std::ostream& out) {
  size_t repairable = 0;
  for (const dbase::TableFinding& f : result.findings) {
    out << FindingLine(f);
    if (f.repairable) ++repairable;
  }
  int64_t total = static_cast<int64_t>(result.findings.size());
  for (const auto& [kind, count] : result.omitted) {
    out << "... and " << count << " more " << kind << " findings\n";
    total += count;
  }
  if (total == 0) {
    out << "ok\n";
  } else {
    out << total << (total == 1 ? " finding" : " findings") << ", " << repairable << " of those listed repairable\n";
  }
}

nlohmann::json FindingJson(const dbase::TableFinding& f) {
  nlohmann::json j;
  j["kind"] = f.kind;
  j["file"] = Cp1252ToUtf8(f.file);
  j["record"] = f.record > 0 ? nlohmann::json(f.record) : nlohmann::json();
  j["field"] = f.field.empty() ? nlohmann::json() : nlohmann::json(Cp1252ToUtf8(f.field));
  j["offset"] = f.offset >= 0 ? nlohmann::json(f.offset) : nlohmann::json();
  j["block"] = f.block >= 0 ? nlohmann::json(f.block) : nlohmann::json();
  j["message"] = Cp1252ToUtf8(f.message);
  j["repairable"] = f.repairable;
  return j;
}

void PrintJson(const CheckArgs& args, const dbase::TableCheckResult& result) {
  nlohmann::json j;
  j["table"] = args.table;
  j["sound"] = result.sound();
  j["records"] = result.whole_records;
  j["findings"] = nlohmann::json::array();
  for (const dbase::TableFinding& f : result.findings) j["findings"].push_back(FindingJson(f));
  j["omitted"] = nlohmann::json::object();
  for (const auto& [kind, count] : result.omitted) j["omitted"][kind] = count;
  std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

void RunCheck(const CheckArgs& args) {
  const dbase::TableCheckResult result = Check(args);
  if (args.json) {
    PrintJson(args, result);
  } else {
    PrintText(result, std::cout);
  }
  std::cout.flush();
  if (!result.sound()) throw VerbStatus{kExitFindings};
}

void RunRepair(const CheckArgs& args) {
  const dbase::TableCheckResult before = Check(args);
  if (before.sound()) {
    std::cout << "ok: nothing to repair\n";
    return;
  }
  const dbase::RepairResult repair = dbase::RepairTable(args.table, args.password, args.indexes, before);
  if (!repair.refused.empty()) {
    PrintText(before, std::cout);
    std::cout << "nothing was written: " << repair.refused << "\n";
    throw VerbStatus{kExitFindings};
  }
  for (const std::string& backup : repair.backups) std::cout << "backup: " << backup << "\n";
  if (repair.rewritten) {
    for (const dbase::TableFinding& f : before.findings) {
      if (f.repairable && f.kind != "index") std::cout << "repaired: " << FindingLine(f);
    }
  }
  for (const dbase::TableFinding& f : repair.cleared) std::cout << "cleared: " << FindingLine(f);
  if (repair.reindexed) std::cout << "index files rebuilt\n";
  const dbase::TableCheckResult after = Check(args);
  if (after.sound()) {
    std::cout << "ok\n";
    return;
  }
  std::cout << "left alone:\n";
  PrintText(after, std::cout);
  std::cout.flush();
  throw VerbStatus{kExitFindings};
}

CLI::App* Verb(CLI::App& app, const char* name, const char* help, CheckArgs& args) {
  CLI::App* cmd = app.add_subcommand(name, help);
  cmd->add_option("table", args.table, "Table file")->required();
  cmd->add_option("--password", args.password, "Password of an enciphered table");
  cmd->add_option("--index", args.indexes, "Index files to check besides the production index");
  return cmd;
}

}  // namespace

void RegisterCheck(CLI::App& app) {
  auto check = std::make_shared<CheckArgs>();
  CLI::App* cmd =
      Verb(app, "check", "Check a table, its memo file and index files; exit 1 with the findings when damaged", *check);
  cmd->add_flag("--json", check->json, "Print the findings as JSON");
  cmd->callback([check] { RunCheck(*check); });

  auto repair = std::make_shared<CheckArgs>();
  cmd = Verb(app, "repair",
             "Repair what needs no guess (record count, end mark, dangling memos, indexes), keeping the old files as T.BAK and T.TBK",
             *repair);
  cmd->callback([repair] { RunRepair(*repair); });
}

}  // namespace qdbf
