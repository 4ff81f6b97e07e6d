// The expression link of a real table: field variables by name and alias, the table functions,
// empty dates and memos, and errors of the table layer passing through.
#include <gtest/gtest.h>

#include <memory>

#include "dbf/dbase_fld.h"
#include "dbf/dbf_build.h"
#include "dbf/dbf_date.h"
#include "dbf/errors.h"
#include "expr/exp_handler.h"
#include "expr/nodes.h"
#include "expr/user_link.h"
#include "handler/table_link.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

// A table with its expression link, as a table handler carries one.
class LinkedTable : public dBaseFld {
 public:
  explicit LinkedTable(const std::string& path) : dBaseFld(path, "", false, false), link_(MakeTableLink(*this)) {}
  ExpUserLink* link() const { return link_.get(); }

 private:
  std::unique_ptr<ExpUserLink> link_;
};

class TableLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("CONTAGEM.DBF");
    {
      DBFBuild build(path_);
      build.AddField("CODIGO", 'C', 10, 0);
      build.AddField("QTD", 'N', 6, 0);
      build.AddField("DATA", 'D', 8, 0);
      build.AddField("ATIVO", 'L', 1, 0);
      build.AddField("NOTA", 'M', 10, 0);
      build.Build();
    }
    dBaseFld t(path_, "", true, false);
    AddRecord(t, "A1", 12, DBFDate::PartsToJul(2000, 1, 1), true, "first memo");
    AddRecord(t, "b2", 5, 0, false, "");
    AddRecord(t, "C3", 0, DBFDate::PartsToJul(1999, 12, 31), false, "");
    t.GetRecord(2);
    t.Delete();
  }

  static void AddRecord(dBaseFld& t, const char* code, int qty, int32_t date, bool active, const char* memo) {
    t.Blank();
    t.FieldPut(1, code);
    t.NumberPut(2, qty);
    t.DatePut(3, date);
    t.LogicPut(4, active);
    if (*memo != '\0') t.MemoWrite(5, memo);
    t.Append();
  }

  Variant Eval(LinkedTable& t, std::string_view text, ExpType* type = nullptr) {
    ExpHandler h(t.link(), false, text);
    Variant v;
    h.EvaluateVariant(v);
    if (type != nullptr) *type = h.ResultType();
    return v;
  }

  testsupport::TempDir dir_;
  std::string path_;
};

TEST_F(TableLinkTest, FieldVariablesReadTheCurrentRecord) {
  LinkedTable t(path_);
  t.GetRecord(1);
  ExpType type;
  EXPECT_EQ(Eval(t, "CODIGO", &type).text(), "A1        ");  // the full stored text
  EXPECT_EQ(type, ExpType::Text);
  EXPECT_EQ(Eval(t, "QTD * 2", &type).number(), 24);
  EXPECT_EQ(Eval(t, "DATA", &type).number(), 2451545);
  EXPECT_EQ(type, ExpType::Date);
  EXPECT_TRUE(Eval(t, "ATIVO", &type).boolean());
  EXPECT_EQ(type, ExpType::Boolean);
  EXPECT_EQ(Eval(t, "NOTA", &type).text(), "first memo");
  EXPECT_EQ(type, ExpType::Text);
  EXPECT_EQ(Eval(t, "UPPER(CODIGO) + DTOS(DATA)").text(), "A1        20000101");
  EXPECT_TRUE(Eval(t, "CODIGO = 'A1'").boolean());

  t.GetRecord(2);
  EXPECT_EQ(Eval(t, "UPPER(CODIGO) + DTOS(DATA)").text(), "B2                ");
  EXPECT_TRUE(Eval(t, "EMPTY(DATA) .AND. DATA = CTOD('') .AND. DATA = {}").boolean());
  EXPECT_EQ(Eval(t, "NOTA").text(), "");
}

TEST_F(TableLinkTest, AliasQualifiedNames) {
  LinkedTable t(path_);
  t.GetRecord(1);
  EXPECT_EQ(Eval(t, "contagem.qtd + CONTAGEM->QTD").number(), 24);
  ExpHandler h(t.link(), false, "CONTAGEM->CODIGO + STR(QTD) + CODIGO");
  EXPECT_EQ(h.FieldNamesFor(kOwnerTableField), ";CODIGO;QTD;CODIGO");
  EXPECT_EQ(h.max_length(), 10);
}

TEST_F(TableLinkTest, TableFunctions) {
  LinkedTable t(path_);
  t.GetRecord(2);
  EXPECT_EQ(Eval(t, "RECNO()").number(), 2);
  EXPECT_TRUE(Eval(t, "DELETED()").boolean());
  EXPECT_FALSE(Eval(t, "EOF() .OR. BOF()").boolean());
  t.GetRecord(kFirst);
  EXPECT_FALSE(Eval(t, "DELETED()").boolean());
  t.GetRecord(kPrevious);
  EXPECT_TRUE(Eval(t, "BOF()").boolean());
  t.GetRecord(kLast);
  t.GetRecord(kNext);
  EXPECT_TRUE(Eval(t, "EOF()").boolean());
  EXPECT_EQ(Eval(t, "TYPE('qtd ')").text(), "N");
  EXPECT_EQ(Eval(t, "TYPE('DATA')").text(), "D");
  EXPECT_EQ(Eval(t, "FIELDNO('ativo')").number(), 4);
  EXPECT_EQ(Eval(t, "FIELDNO('NOSUCH')").number(), 0);
  EXPECT_EQ(Eval(t, "LEN('QTD')").number(), 3);  // the library's LEN is found first
  try {
    Eval(t, "TYPE('NOSUCH')");
    ADD_FAILURE() << "no error";
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()), "There is no field name " + t.file_name() + "->NOSUCH");
  }
}

TEST_F(TableLinkTest, LinkLenGivesTheDescriptorsLengthByte) {
  LinkedTable t(path_);
  UserDefFunction* len = t.link()->FindFunction("LEN");
  ASSERT_NE(len, nullptr);
  ExpHandler h(t.link());
  std::vector<NodePtr> args;
  args.push_back(std::make_unique<ExpTextLit>("CODIGO"));
  ExpFunction call(h, *len, std::move(args));
  Variant v;
  ExpType type;
  call.Evaluate(v, type);
  EXPECT_EQ(type, ExpType::Number);
  EXPECT_EQ(v.number(), 10);
}

TEST_F(TableLinkTest, TableErrorsPassThrough) {
  {
    dBaseFld t(path_, "", true, false);
    t.GetRecord(3);
    t.FieldPut(2, "12a");
    t.PutRecord(3);
  }
  LinkedTable t(path_);
  t.GetRecord(3);
  EXPECT_THROW(Eval(t, "QTD + 1"), EngineError);
  EXPECT_EQ(Eval(t, "CODIGO").text(), "C3        ");
}

}  // namespace
}  // namespace dbase
