// qdbf dump TABLE: the records as CSV (default, csv_writer.h) or JSON lines, in UTF-8, or SDF
// with the stored bytes as they are; in physical order, or in the order of an index tag
// (--index, --tag), optionally within a range of keys (--range LOW:HIGH).
#include <iostream>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/csv_writer.h"
#include "cli/qdbf/table_io.h"
#include "dbf/dbase_dbf.h"
#include "dbf/errors.h"
#include "index/index_file.h"
#include "index/index_tag.h"

namespace qdbf {

namespace {

struct DumpArgs {
  std::string table;
  std::string password;
  std::string format = "csv";
  std::string filter;
  bool deleted = false;
  std::string index;
  std::string tag;
  std::string range;
};

// One pass in file order through the read-ahead buffer; what was formatted before a failure is
// still written.
void DumpCsv(dbase::dBHandler& table, bool with_deleted) {
  if (table.current_tag() == nullptr) table.SetReadAhead(true);
  CsvWriter csv(table, stdout, with_deleted);
  std::cout.flush();
  csv.Header();
  try {
    for (table.GetRecord(dbase::kFirst); !table.eof(); table.GetRecord(dbase::kNext)) {
      if (!table.deleted() || with_deleted) csv.Record();
    }
  } catch (...) {
    csv.Flush();
    throw;
  }
  csv.Flush();
}

void RunDump(const DumpArgs& args) {
  OpenOptions options;
  options.password = args.password;
  auto t = OpenTable(args.table, options);
  if (!args.index.empty()) {
    dbase::IndexFile* file = t->OpenIndexFile(args.index);
    if (file->tag_count() == 0) throw dbase::EngineError::Make(dbase::kNoIndexTag, args.tag);
    t->SelectTag(args.tag.empty() ? file->tag(0)->name() : args.tag, false);
    if (!args.range.empty()) {
      const size_t colon = args.range.find(':');
      if (colon == std::string::npos) throw CLI::ValidationError("--range", "expected LOW:HIGH");
      t->SetRange(Utf8ToCp1252(args.range.substr(0, colon)), Utf8ToCp1252(args.range.substr(colon + 1)), 0, 0, 0);
    }
  } else if (!args.tag.empty() || !args.range.empty()) {
    throw CLI::ValidationError("--tag", "--tag and --range need --index");
  }
  if (!args.filter.empty()) {
    t->SetFilterActive(true);
    t->SetFilter(args.filter, false, false);
  }
  std::ostream& out = std::cout;
  if (args.format == "csv") {
    DumpCsv(*t, args.deleted);
    return;
  }
  for (t->GetRecord(dbase::kFirst); !t->eof(); t->GetRecord(dbase::kNext)) {
    if (t->deleted() && !args.deleted) continue;
    if (args.format == "sdf") {
      // Fixed-width: every field's stored text, memos left out, CR LF line ends.
      for (int i = 1; i <= t->field_count(); ++i) {
        if (!IsMemoField(t->FieldType(i))) out << t->FieldGet(i);
      }
      out << "\r\n";
    } else if (args.format == "json") {
      out << "{\"_recno\":" << t->record_number();
      if (args.deleted) out << ",\"_deleted\":" << (t->deleted() ? "true" : "false");
      for (int i = 1; i <= t->field_count(); ++i) {
        out << "," << JsonString(Cp1252ToUtf8(t->FieldName(i))) << ":";
        char type = t->FieldType(i);
        const bool numeric = type == 'N' || type == 'F' ||
                             (t->version() == dbase::kVersionVfp && (type == 'I' || type == 'B' || type == 'Y' || type == 'T'));
        std::string shown = type == 'L' ? std::string() : ShownValue(*t, i);
        std::optional<std::string> number = numeric ? JsonNumber(shown) : std::nullopt;
        if (type == 'L') {
          out << (t->LogicGet(i) ? "true" : "false");
        } else if (number) {
          out << *number;
        } else {
          // Also a number field whose text is no number ("******", "1,5"): valid JSON still.
          out << JsonString(Cp1252ToUtf8(shown));
        }
      }
      out << "}\n";
    }
  }
}

}  // namespace

void RegisterDump(CLI::App& app) {
  auto args = std::make_shared<DumpArgs>();
  CLI::App* cmd = app.add_subcommand("dump", "Print the records of a table");
  cmd->add_option("table", args->table, "Table file")->required();
  cmd->add_option("--format", args->format, "csv, json or sdf")->check(CLI::IsMember({"csv", "json", "sdf"}));
  cmd->add_option("--filter", args->filter, "Only records for which this expression is true");
  cmd->add_flag("--deleted", args->deleted, "Include deleted records");
  cmd->add_option("--password", args->password, "Password of an enciphered table");
  cmd->add_option("--index", args->index, "Dump in the order of this index file");
  cmd->add_option("--tag", args->tag, "The tag of a multi-tag index file (default: its first)");
  cmd->add_option("--range", args->range, "Only keys from LOW to HIGH (either may be empty)");
  cmd->callback([args] { RunDump(*args); });
}

}  // namespace qdbf
