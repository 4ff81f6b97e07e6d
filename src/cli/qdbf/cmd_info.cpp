// qdbf info TABLE: header facts and the field list.
#include <cstdio>
#include <iostream>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"
#include "dbf/header_date.h"
#include "dbf/memo_file.h"

namespace qdbf {

namespace {

struct InfoArgs {
  std::string table;
  std::string password;
  bool json = false;
};

void RunInfo(const InfoArgs& args) {
  OpenOptions options;
  options.password = args.password;
  auto t = OpenTable(args.table, options);
  const auto& h = t->header();
  const dbase::HeaderDate updated = dbase::GetHeaderDate(&h[1]);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", updated.year, updated.month, updated.day);
  char version[8];
  std::snprintf(version, sizeof version, "0x%02X", t->version());
  std::string memo = t->memo() ? t->memo()->file_name() : "";
  if (args.json) {
    std::cout << "{\"file\":" << JsonString(t->file_name()) << ",\"version\":" << JsonString(version)
              << ",\"last_update\":" << JsonString(date) << ",\"records\":" << t->record_count()
              << ",\"header_length\":" << t->header_length() << ",\"record_length\":" << t->record_length()
              << ",\"encrypted\":" << (t->encrypted() ? "true" : "false") << ",\"memo_file\":" << JsonString(memo)
              << ",\"fields\":[";
    for (int i = 1; i <= t->field_count(); ++i) {
      std::cout << (i > 1 ? "," : "") << "{\"name\":" << JsonString(Cp1252ToUtf8(t->FieldName(i)))
                << ",\"type\":" << JsonString(std::string(1, t->FieldType(i))) << ",\"length\":" << t->FieldLen(i)
                << ",\"decimals\":" << t->FieldDecimals(i) << ",\"offset\":" << t->FieldOffset(i) << "}";
    }
    std::cout << "]}\n";
    return;
  }
  std::cout << "file:          " << t->file_name() << "\n"
            << "version:       " << version << "\n"
            << "last update:   " << date << "\n"
            << "records:       " << t->record_count() << "\n"
            << "header length: " << t->header_length() << "\n"
            << "record length: " << t->record_length() << "\n"
            << "encrypted:     " << (t->encrypted() ? "yes" : "no") << "\n"
            << "memo file:     " << (memo.empty() ? "none" : memo) << "\n"
            << "fields:        " << t->field_count() << "\n";
  for (int i = 1; i <= t->field_count(); ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "  %3d  %-10s %c %5d %3d  offset %d\n", i, t->FieldName(i).c_str(),
                  t->FieldType(i), t->FieldLen(i), t->FieldDecimals(i), t->FieldOffset(i));
    std::cout << line;
  }
}

}  // namespace

void RegisterInfo(CLI::App& app) {
  auto args = std::make_shared<InfoArgs>();
  CLI::App* cmd = app.add_subcommand("info", "Header facts and fields of a table");
  cmd->add_option("table", args->table, "Table file")->required();
  cmd->add_option("--password", args->password, "Password of an enciphered table");
  cmd->add_flag("--json", args->json, "Print JSON");
  cmd->callback([args] { RunInfo(*args); });
}

}  // namespace qdbf
