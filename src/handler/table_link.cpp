// Table functions and field variables of a table's expression link.
#include "handler/table_link.h"

#include <string>

#include "dbf/dbase_fld.h"
#include "expr/date_value.h"
#include "expr/fn_support.h"

namespace dbase {

namespace {

// A function reading state of the table: RECNO, DELETED, BOF and EOF.
class DBFState : public BuiltinFunction {
 public:
  enum class What { RecNo, Deleted, Bof, Eof };
  DBFState(dBaseFld& table, std::string_view name, What what) : BuiltinFunction(name), table_(table), what_(what) {}

  void Evaluate(ExpFunction& /*node*/, Variant& out, ExpType& type) override {
    switch (what_) {
      case What::RecNo:
        ReturnNumber(out, type, table_.record_number());
        return;
      case What::Deleted:
        ReturnBoolean(out, type, table_.deleted());
        return;
      case What::Bof:
        ReturnBoolean(out, type, table_.bof());
        return;
      case What::Eof:
        ReturnBoolean(out, type, table_.eof());
        return;
    }
  }

 private:
  dBaseFld& table_;
  What what_;
};

// A function of one field name: TYPE (the type letter), LEN (the length byte of the
// descriptor) and FIELDNO (the field's number, 0 when there is no such field).
class DBFFieldInfo : public BuiltinFunction {
 public:
  enum class What { Type, Len, FieldNo };
  DBFFieldInfo(dBaseFld& table, std::string_view name, What what)
      : BuiltinFunction(name), table_(table), what_(what) {}

  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    std::string name(TextArg(node, 0, out));
    if (what_ == What::FieldNo) {
      ReturnNumber(out, type, table_.FieldNumber(name));
      return;
    }
    const FieldDescriptor& d = table_.FieldByName(name);  // raises for an unknown name
    if (what_ == What::Type) {
      ReturnText(out, type, std::string(1, d.type));
    } else {
      ReturnNumber(out, type, d.raw[16]);
    }
  }

 private:
  dBaseFld& table_;
  What what_;
};

// The value of one field of the current record.
class DBFFieldVars : public UserDefFieldVar {
 public:
  DBFFieldVars(dBaseFld& table, int field, std::string_view names)
      : UserDefFieldVar(names), table_(table), field_(field), type_(table.FieldType(field)) {
    set_length(table.FieldLen(field));
    // Binary numbers of version 0x30 tables read as numbers.
    binary_number_ = table.version() == kVersionVfp && (type_ == 'B' || type_ == 'I' || type_ == 'Y');
  }

  int OwnerId() const override { return kOwnerTableField; }

  void Evaluate(Variant& out, ExpType& type) override {
    switch (type_) {
      case 'C':
        // The stored text, trailing blanks included: index keys take their length from it.
        out.SetText(table_.FieldGet(field_));
        type = ExpType::Text;
        return;
      case 'D':
        out.SetNumber(JulToExpDate(table_.DateGet(field_)));
        type = ExpType::Date;
        return;
      case 'F':
      case 'N':
        out.SetNumber(static_cast<double>(table_.NumberGet(field_)));
        type = ExpType::Number;
        return;
      case 'L':
        out.SetBoolean(table_.LogicGet(field_));
        type = ExpType::Boolean;
        return;
      case 'M':
        out.SetText(table_.StringGet(field_));
        type = ExpType::Text;
        return;
      default:
        if (binary_number_) {
          out.SetNumber(static_cast<double>(table_.NumberGet(field_)));
          type = ExpType::Number;
          return;
        }
        out.SetText(table_.FieldGet(field_));
        type = ExpType::Memo;
        return;
    }
  }

 private:
  dBaseFld& table_;
  int field_;
  char type_;
  bool binary_number_ = false;
};

}  // namespace

std::unique_ptr<ExpUserLink> MakeTableLink(dBaseFld& table) {
  auto link = std::make_unique<ExpUserLink>();
  using State = DBFState::What;
  using Info = DBFFieldInfo::What;
  link->AddFunction(std::make_unique<DBFState>(table, "RECNO", State::RecNo));
  link->AddFunction(std::make_unique<DBFState>(table, "DELETED", State::Deleted));
  link->AddFunction(std::make_unique<DBFState>(table, "BOF", State::Bof));
  link->AddFunction(std::make_unique<DBFState>(table, "EOF", State::Eof));
  link->AddFunction(std::make_unique<DBFFieldInfo>(table, "TYPE", Info::Type));
  link->AddFunction(std::make_unique<DBFFieldInfo>(table, "LEN", Info::Len));
  link->AddFunction(std::make_unique<DBFFieldInfo>(table, "FIELDNO", Info::FieldNo));
  for (int field = 1; field <= table.field_count(); ++field) {
    std::string name = table.FieldName(field);
    link->AddFieldVar(std::make_shared<DBFFieldVars>(table, field, name + ";" + table.alias() + "." + name));
  }
  return link;
}

}  // namespace dbase
