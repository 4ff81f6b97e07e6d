// Editing through the table dataset: insert, append, edit, post, cancel, delete and recall, with
// what reaches the file, record locks between two datasets, and the two record count modes.
#include <gtest/gtest.h>

#include "dataset/database_error.h"
#include "dataset/table_dataset.h"
#include "dataset_test_support.h"
#include "dbf/errors.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testing_support::ErrorOf;
using testing_support::MakeTable;
using testing_support::Point;
using testing_support::RawRows;
using testsupport::TempDir;

const std::vector<std::string> kCountSpecs = {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"};

class EditTest : public ::testing::Test {
 protected:
  void Open(const std::vector<std::vector<std::string>>& rows, bool exclusive = false) {
    path_ = MakeTable(dir_, "CONTAGEM.DBF", kCountSpecs, rows);
    Point(ds_, dir_.path(), "CONTAGEM");
    ds_.SetTranslateASCII(false);
    ds_.SetExclusive(exclusive);
    ds_.Open();
  }
  std::string Code() { return ds_.FieldByName("CODIGO").AsString(); }
  std::vector<std::string> Codes() {
    std::vector<std::string> codes;
    for (ds_.First(); !ds_.Eof(); ds_.Next()) codes.push_back(Code());
    return codes;
  }
  TempDir dir_;
  std::string path_;
  TTableDataSet ds_;
};

TEST_F(EditTest, InsertAppendEditAndPostReachTheFile) {
  Open({{"A", "L1", "1"}, {"B", "L1", "2"}});
  ds_.Next();
  ds_.Edit();
  EXPECT_EQ(ds_.State(), DataSetState::kEdit);
  ds_.FieldByName("ESTOQUE").SetAsInteger(20);
  ds_.Post();
  EXPECT_EQ(ds_.State(), DataSetState::kBrowse);
  EXPECT_EQ(ds_.RecNo(), 2);

  ds_.Insert();
  EXPECT_EQ(ds_.State(), DataSetState::kInsert);
  EXPECT_TRUE(ds_.TableObject()->eof());  // a new record stands after the last one
  EXPECT_FALSE(ds_.TableObject()->bof());
  EXPECT_EQ(ds_.FieldByName("ESTOQUE").AsInteger(), 0);  // the blank record's 0
  ds_.FieldByName("CODIGO").SetAsString("C");
  ds_.Post();
  EXPECT_EQ(Code(), "C");
  EXPECT_EQ(ds_.RecNo(), 3);

  ds_.AppendRecord({Variant("D"), Variant("L2"), Variant(4)});
  EXPECT_EQ(Code(), "D");
  EXPECT_EQ(RawRows(path_), (std::vector<std::string>{" A                   |L1  |     1",
                                                      " B                   |L1  |    20",
                                                      " C                   |    |     0",
                                                      " D                   |L2  |     4"}));
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A", "B", "C", "D"}));
}

TEST_F(EditTest, CancelDropsTheEditAndReleasesTheRecordLock) {
  Open({{"A", "", "1"}, {"B", "", "2"}});
  TTableDataSet other;
  Point(other, dir_.path(), "CONTAGEM");
  other.Open();

  ds_.Edit();
  ds_.FieldByName("CODIGO").SetAsString("changed");
  EXPECT_EQ(ErrorOf([&] { other.Edit(); }), "Record is locked by another user");
  EXPECT_EQ(other.State(), DataSetState::kBrowse);
  ds_.Cancel();
  EXPECT_EQ(Code(), "A");
  EXPECT_EQ(RawRows(path_)[0].substr(0, 2), " A");
  // The lock went with the cancelled edit: the other dataset may edit now, and we may edit
  // another record.
  other.Edit();
  other.FieldByName("ESTOQUE").SetAsInteger(9);
  other.Post();
  ds_.Next();
  ds_.Edit();
  ds_.Post();
  ds_.First();
  EXPECT_EQ(ds_.FieldByName("ESTOQUE").AsInteger(), 9);  // read again when the edit started
}

TEST_F(EditTest, EditReadsTheRecordAgainUnderItsLock) {
  Open({{"A", "", "1"}});
  TTableDataSet other;
  Point(other, dir_.path(), "CONTAGEM");
  other.Open();
  other.Edit();
  other.FieldByName("ESTOQUE").SetAsInteger(5);
  other.Post();
  EXPECT_EQ(ds_.FieldByName("ESTOQUE").AsInteger(), 1);  // still the buffer read before
  ds_.Edit();
  EXPECT_EQ(ds_.FieldByName("ESTOQUE").AsInteger(), 5);
  ds_.FieldByName("LOJA").SetAsString("L9");
  ds_.Post();
  EXPECT_EQ(RawRows(path_)[0], " A                   |L9  |     5");
}

TEST_F(EditTest, DeletingTheRecordBeingEditedEndsTheEditAndItsLock) {
  Open({{"A", "", "1"}, {"B", "", "2"}});
  TTableDataSet other;
  Point(other, dir_.path(), "CONTAGEM");
  other.SetUseDeleted(true);
  other.Open();
  ds_.Edit();
  ds_.FieldByName("LOJA").SetAsString("xx");
  ds_.Delete();
  EXPECT_EQ(ds_.State(), DataSetState::kBrowse);
  EXPECT_EQ(ds_.FieldByName("CODIGO").AsString(), "B");
  ds_.Edit();  // our own lock on A would refuse this one
  ds_.Post();
  other.Edit();  // A, deleted but visible there
  other.Post();
  EXPECT_EQ(RawRows(path_)[0], "*A                   |    |     1");
}

TEST_F(EditTest, DeleteMarksTheRecordAndMovesOnRecallRemovesTheMark) {
  Open({{"A", "", "1"}, {"B", "", "2"}, {"C", "", "3"}});
  ds_.Next();
  ds_.Delete();
  EXPECT_EQ(Code(), "C");
  EXPECT_EQ(RawRows(path_)[1][0], '*');
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(ds_.RecordCount(), 3);  // from the file size, deleted records included
  ds_.SetExactCount(true);
  EXPECT_EQ(ds_.RecordCount(), 2);  // records visited
  ds_.Last();
  ds_.Delete();  // the last one: the dataset falls back to the one before
  EXPECT_EQ(Code(), "A");
  EXPECT_EQ(ds_.RecordCount(), 1);

  ds_.SetUseDeleted(true);
  EXPECT_EQ(ds_.RecordCount(), 3);
  ds_.SetRecNo(2);
  EXPECT_EQ(Code(), "B");
  ds_.Recall();
  EXPECT_EQ(RawRows(path_)[1][0], ' ');
  ds_.SetUseDeleted(false);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(EditTest, InsertOrDeleteOnAnEmptyTable) {
  Open({});
  EXPECT_TRUE(ds_.IsEmpty());
  EXPECT_TRUE(ds_.Eof());
  EXPECT_TRUE(ds_.Bof());
  EXPECT_TRUE(ds_.FieldByName("CODIGO").IsNull());
  EXPECT_EQ(ErrorOf([&] { ds_.Delete(); }), "Cannot perform this operation on an empty dataset");
  ds_.Edit();  // on an empty dataset, edit inserts
  EXPECT_EQ(ds_.State(), DataSetState::kInsert);
  ds_.FieldByName("CODIGO").SetAsString("X");
  ds_.Post();
  EXPECT_FALSE(ds_.IsEmpty());
  EXPECT_EQ(Codes(), std::vector<std::string>{"X"});
}

TEST_F(EditTest, RecordCountAfterZapAndAfterThreeAppends) {
  Open({{"A", "", "1"}, {"B", "", "2"}}, true);
  ds_.Zap();
  EXPECT_EQ(ds_.RecordCount(), 0);
  EXPECT_TRUE(ds_.IsEmpty());
  for (const char* code : {"1", "2", "3"}) {
    ds_.Append();
    ds_.FieldByName("CODIGO").SetAsString(code);
    ds_.Post();
  }
  EXPECT_FALSE(ds_.ExactCount());
  EXPECT_EQ(ds_.RecordCount(), 3);
  ds_.Close();
  EXPECT_EQ(RawRows(path_).size(), 3u);
}

TEST_F(EditTest, ZapNeedsTheTableForItself) {
  Open({{"A", "", "1"}});
  EXPECT_EQ(ErrorOf([&] { ds_.Zap(); }), "Zap requires full access to file " + path_);
  EXPECT_EQ(ds_.RecordCount(), 1);
}

TEST_F(EditTest, ReadOnlyDatasetRefusesEditing) {
  path_ = MakeTable(dir_, "CONTAGEM.DBF", kCountSpecs, {{"A", "", "1"}});
  Point(ds_, dir_.path(), "CONTAGEM");
  ds_.SetReadOnly(true);
  ds_.Open();
  EXPECT_FALSE(ds_.CanModify());
  EXPECT_EQ(ErrorOf([&] { ds_.Edit(); }), "Cannot modify a read-only dataset");
  EXPECT_EQ(ErrorOf([&] { ds_.Append(); }), "Cannot modify a read-only dataset");
}

}  // namespace
}  // namespace quarvel
