// qdbf eval TABLE EXPR: compiles the expression once on the table and prints, for the first
// record (every record with --all), the record number, the result type and the value.
#include <iostream>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"
#include "dbf/dbf_date.h"
#include "dbf/errors.h"
#include "expr/date_value.h"
#include "expr/exp_handler.h"

namespace qdbf {

namespace {

struct EvalArgs {
  std::string table;
  std::string expression;
  std::string password;
  bool all = false;
};

// The value as printed: texts as they are (in UTF-8), dates as yyyymmdd (empty when blank) so
// that the output does not depend on the locale, logicals as .T./.F.
std::string Shown(const dbase::Variant& value, dbase::ExpType type) {
  if (value.is_null()) return "";
  switch (type) {
    case dbase::ExpType::Date: {
      if (dbase::IsEmptyDate(value.number())) return "";
      try {
        return dbase::DBFDate::Shared().JulToDTOS(dbase::ExpDateToJul(value.number()));
      } catch (const dbase::ExpressionError&) {
        return dbase::NumberToText(value.number());  // a day number no calendar date has
      }
    }
    case dbase::ExpType::Boolean:
      return value.boolean() ? ".T." : ".F.";
    default:
      return Cp1252ToUtf8(value.ToText());
  }
}

void RunEval(const EvalArgs& args) {
  OpenOptions options;
  options.password = args.password;
  auto t = OpenTable(args.table, options);
  dbase::ExpHandler handler(t->link(), false, Utf8ToCp1252(args.expression));
  dbase::Variant value;
  for (t->GetRecord(dbase::kFirst); !t->eof(); t->GetRecord(dbase::kNext)) {
    value.SetNull();
    handler.EvaluateVariant(value);
    std::cout << t->record_number() << '\t' << dbase::ExpTypeName(handler.ResultType()) << '\t'
              << Shown(value, handler.ResultType()) << '\n';
    if (!args.all) break;
  }
}

}  // namespace

void RegisterEval(CLI::App& app) {
  auto args = std::make_shared<EvalArgs>();
  CLI::App* cmd = app.add_subcommand("eval", "Evaluate a dBase expression on the records of a table");
  cmd->add_option("table", args->table, "Table file")->required();
  cmd->add_option("expression", args->expression, "Expression, e.g. UPPER(CODIGO) + DTOS(DATA)")->required();
  cmd->add_flag("--all", args->all, "Every record, not only the first");
  cmd->add_option("--password", args->password, "Password of an enciphered table");
  cmd->callback([args] { RunEval(*args); });
}

}  // namespace qdbf
