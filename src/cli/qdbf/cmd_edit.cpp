// qdbf delete|recall TABLE --filter EXPR and qdbf replace TABLE --set FIELD=EXPR... [--filter EXPR]:
// changes to many records at once. Every expression is compiled and evaluated for every chosen
// record before the first record is written, so a malformed expression, a value of the wrong
// type or one that does not fit its field stops the verb with nothing changed. A shared table
// is held under the table lock while the records are written.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"
#include "dbf/errors.h"
#include "expr/date_value.h"
#include "expr/exp_handler.h"

namespace qdbf {

namespace {

struct EditArgs {
  std::string table;
  std::string filter;
  std::string password;
  std::vector<std::string> sets;
  std::vector<std::string> indexes;
};

// One FIELD=EXPR of replace, compiled on the table.
struct Assignment {
  int field = 0;
  char type = 'C';
  std::string name;
  std::unique_ptr<dbase::ExpHandler> expression;
};

// A value ready for a field: text for C and M fields, a number, a Julian day or a logical.
struct NewValue {
  std::string text;
  long double number = 0;
  int32_t day = 0;
  bool logical = false;
};

NewValue Evaluate(dbase::dBHandler& t, Assignment& a) {
  dbase::Variant value;
  a.expression->EvaluateVariant(value);
  const dbase::ExpType type = a.expression->ResultType();
  NewValue out;
  const auto mismatch = [&] { return dbase::EngineError::Make(dbase::kIncorrectType, a.name); };
  switch (a.type) {
    case 'C':
    case 'M':
      if (type != dbase::ExpType::Text && type != dbase::ExpType::Memo) throw mismatch();
      out.text = value.ToText();
      break;
    case 'N':
    case 'F':
    case 'I':
    case 'B':
    case 'Y':
      if (type != dbase::ExpType::Number && type != dbase::ExpType::Integer) throw mismatch();
      out.number = value.number();
      t.CheckNumberFits(a.field, out.number);
      break;
    case 'D':
      if (type != dbase::ExpType::Date) throw mismatch();
      out.day = dbase::IsEmptyDate(value.number()) ? 0 : dbase::ExpDateToJul(value.number());
      break;
    case 'L':
      if (type != dbase::ExpType::Boolean) throw mismatch();
      out.logical = value.boolean();
      break;
    default:
      throw mismatch();
  }
  return out;
}

void Store(dbase::dBHandler& t, const Assignment& a, const NewValue& v) {
  switch (a.type) {
    case 'C':
    case 'M':
      t.StringPut(a.field, v.text);
      break;
    case 'D':
      t.DatePut(a.field, v.day);
      break;
    case 'L':
      t.LogicPut(a.field, v.logical);
      break;
    default:
      t.NumberPut(a.field, v.number);
  }
}

std::unique_ptr<dbase::dBHandler> OpenForEdit(const EditArgs& args) {
  OpenOptions options;
  options.password = args.password;
  options.read_write = true;
  options.indexes = args.indexes;
  return OpenTable(args.table, options);
}

std::unique_ptr<dbase::ExpHandler> CompileFilter(dbase::dBHandler& t, const std::string& text) {
  if (text.empty()) return nullptr;
  return std::make_unique<dbase::ExpHandler>(t.link(), false, Utf8ToCp1252(text));
}

bool Passes(dbase::ExpHandler* filter) {
  if (filter == nullptr) return true;
  dbase::Variant value;
  filter->EvaluateVariant(value);
  if (filter->ResultType() != dbase::ExpType::Boolean) {
    throw dbase::ExpressionError::Make(dbase::kFilterNotBoolean);
  }
  return value.boolean();
}

// Holds the table lock of a shared table for the writes of one verb.
class TableLockScope {
 public:
  explicit TableLockScope(dbase::dBHandler& t) : t_(t) {
    if (!t_.LockTable()) throw dbase::EngineError::Make(dbase::kCannotLock, t_.file_name());
  }
  ~TableLockScope() { t_.Unlock(); }
  TableLockScope(const TableLockScope&) = delete;
  TableLockScope& operator=(const TableLockScope&) = delete;

 private:
  dbase::dBHandler& t_;
};

// The records that pass the filter, in physical order, deleted ones included.
std::vector<int32_t> ChosenRecords(dbase::dBHandler& t, dbase::ExpHandler* filter) {
  std::vector<int32_t> chosen;
  for (t.GetRecord(dbase::kFirst); !t.eof(); t.GetRecord(dbase::kNext)) {
    if (Passes(filter)) chosen.push_back(t.record_number());
  }
  return chosen;
}

void RunMark(const EditArgs& args, bool remove) {
  auto t = OpenForEdit(args);
  auto filter = CompileFilter(*t, args.filter);
  TableLockScope lock(*t);
  t->ReReadHeader();
  int changed = 0;
  for (int32_t record : ChosenRecords(*t, filter.get())) {
    t->GetRecord(record);
    if (t->deleted() == remove) continue;
    if (remove) {
      t->Delete();
    } else {
      t->Undelete();
    }
    ++changed;
  }
  std::cout << changed << (remove ? " deleted\n" : " recalled\n");
}

void RunReplace(const EditArgs& args) {
  auto t = OpenForEdit(args);
  std::vector<Assignment> assignments;
  for (const std::string& set : args.sets) {
    const size_t eq = set.find('=');
    if (eq == std::string::npos || eq == 0) {
      throw CLI::ValidationError("--set", "expected FIELD=EXPR: " + set);
    }
    Assignment a;
    a.name = set.substr(0, eq);
    a.field = t->FieldByName(a.name).number;
    a.type = t->FieldType(a.field);
    a.expression = std::make_unique<dbase::ExpHandler>(t->link(), false,
                                                       Utf8ToCp1252(set.substr(eq + 1)));
    assignments.push_back(std::move(a));
  }
  auto filter = CompileFilter(*t, args.filter);
  TableLockScope lock(*t);
  t->ReReadHeader();

  // Every value of every record first: a failure here leaves the table as it was.
  std::vector<std::pair<int32_t, std::vector<NewValue>>> plan;
  for (int32_t record : ChosenRecords(*t, filter.get())) {
    t->GetRecord(record);
    std::vector<NewValue> values;
    for (Assignment& a : assignments) values.push_back(Evaluate(*t, a));
    plan.emplace_back(record, std::move(values));
  }
  for (const auto& [record, values] : plan) {
    t->GetRecord(record);
    for (size_t i = 0; i < assignments.size(); ++i) Store(*t, assignments[i], values[i]);
    t->PutRecord(record);
  }
  std::cout << plan.size() << " replaced\n";
}

}  // namespace

void RegisterEdit(CLI::App& app) {
  for (const bool remove : {true, false}) {
    auto args = std::make_shared<EditArgs>();
    CLI::App* cmd = app.add_subcommand(remove ? "delete" : "recall",
                                       remove ? "Mark the records that pass a filter as deleted"
                                              : "Take back the deletion of the records that pass a filter");
    cmd->add_option("table", args->table, "Table file")->required();
    cmd->add_option("--filter", args->filter, "Records for which this expression is true")->required();
    cmd->add_option("--password", args->password, "Password of an enciphered table");
    AddIndexOption(*cmd, args->indexes);
    cmd->callback([args, remove] { RunMark(*args, remove); });
  }
  auto args = std::make_shared<EditArgs>();
  CLI::App* cmd = app.add_subcommand("replace", "Set fields to the values of expressions");
  cmd->add_option("table", args->table, "Table file")->required();
  cmd->add_option("--set", args->sets, "FIELD=EXPR, evaluated on each record")->required();
  cmd->add_option("--filter", args->filter, "Only records for which this expression is true");
  cmd->add_option("--password", args->password, "Password of an enciphered table");
  AddIndexOption(*cmd, args->indexes);
  cmd->callback([args] { RunReplace(*args); });
}

}  // namespace qdbf
