// Whole-table operations through the dataset (CopyFile, SortFile, Zap with their progress
// reports), and the product import's way of filling a table: insert, set fields, post, with a
// failed line leaving its record pending for the next insert or the copy's check of browse mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "dataset/database_error.h"
#include "dataset/table_dataset.h"
#include "dataset_test_support.h"
#include "dbf/errors.h"
#include "exchange/handheld_tables.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testing_support::ErrorOf;
using testing_support::MakeTable;
using testing_support::Point;
using testing_support::RawRows;
using testsupport::TempDir;

// One import line as the product import stores it: a new record, its fields in table order
// from the line's values, then post. A failure is logged and the loop goes on.
void ImportLine(TTableDataSet& ds, const std::vector<Variant>& values, std::vector<std::string>& log) {
  try {
    ds.Insert();
    for (size_t i = 0; i < values.size(); ++i) ds.Fields(static_cast<int>(i)).SetValue(values[i]);
    ds.Post();
  } catch (const std::exception& e) {
    log.push_back(std::string("> ") + e.what());
  }
}

TEST(ImportFlow, AFailedLinesRecordIsPostedByTheNextInsertWhenAFieldWasSet) {
  TempDir dir;
  CreateHandheldTables(dir.path());
  TTableDataSet ds;
  Point(ds, dir.path(), "CONTAGEM.DBF");
  ds.SetExclusive(true);
  ds.SetTranslateASCII(false);
  ds.Open();
  std::vector<std::string> log;
  ImportLine(ds, {Variant("A"), Variant("L1"), Variant(5)}, log);
  ImportLine(ds, {Variant("B"), Variant("L2"), Variant(1234567)}, log);  // ESTOQUE does not fit
  EXPECT_EQ(ds.State(), DataSetState::kInsert);                          // left pending
  ImportLine(ds, {Variant("C"), Variant("L3"), Variant(7)}, log);
  ImportLine(ds, {Variant("D"), Variant("L4"), Variant(-999999)}, log);  // pending again
  ASSERT_EQ(log, (std::vector<std::string>{"> numeric value too big in field ESTOQUE - 1234567",
                                           "> numeric value too big in field ESTOQUE - -999999"}));
  EXPECT_EQ(ds.RecordCount(), 3);  // D not yet stored
  // The copy begins with the check of browse mode, which posts D.
  ds.CopyFile(dir.File("TEMPSORT.DBF"), "");
  EXPECT_EQ(ds.State(), DataSetState::kBrowse);
  EXPECT_EQ(ds.RecordCount(), 4);
  ds.Close();
  const std::vector<std::string> expected = {" A                   |L1  |     5", " B                   |L2  |     0",
                                             " C                   |L3  |     7", " D                   |L4  |     0"};
  EXPECT_EQ(RawRows(dir.File("CONTAGEM.DBF")), expected);
  EXPECT_EQ(RawRows(dir.File("TEMPSORT.DBF")), expected);
}

TEST(ImportFlow, ARecordWithNoFieldSetIsDroppedAndOnePendingAtCloseToo) {
  TempDir dir;
  MakeTable(dir, "LEITURA.DBF", {"QTD;N;3;0", "CODIGO;C;10;0"});
  TTableDataSet ds;
  Point(ds, dir.path(), "LEITURA");
  ds.SetExclusive(true);
  ds.Open();
  std::vector<std::string> log;
  ImportLine(ds, {Variant(1), Variant("um")}, log);
  ImportLine(ds, {Variant(1000), Variant("mil")}, log);  // fails on the first field: nothing set
  EXPECT_FALSE(ds.Modified());
  ImportLine(ds, {Variant(2), Variant("dois")}, log);  // the next insert drops the empty one
  ImportLine(ds, {Variant(3), Variant("tres")}, log);
  ds.Insert();
  ds.FieldByName("CODIGO").SetAsString("pendente");
  ds.Close();  // a record still pending at close is dropped
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "> numeric value too big in field QTD - 1000");
  EXPECT_EQ(RawRows(dir.File("LEITURA.DBF")),
            (std::vector<std::string>{"   1|um        ", "   2|dois      ", "   3|tres      "}));
}

class OperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = MakeTable(dir_, "PRODUTOS.DBF", {"CODIGO;C;20;0", "DESCRICAO;C;40;0"},
                      {{"300", "Sal"}, {"100", "Arroz"}, {"200", "Feijao"}, {"100", "Arroz de novo"}});
    Point(ds_, dir_.path(), "PRODUTOS");
    ds_.SetExclusive(true);
    ds_.OnStatus = [this](TTableDataSet&, int a, int b, int c) { reports_.emplace_back(a, b, c); };
    ds_.Open();
  }
  std::vector<std::string> Codes(const std::string& path) {
    std::vector<std::string> codes;
    for (const std::string& row : RawRows(path)) codes.push_back(row.substr(1, row.find(' ', 1) - 1));
    return codes;
  }
  TempDir dir_;
  std::string path_;
  TTableDataSet ds_;
  std::vector<std::tuple<int, int, int>> reports_;
};

TEST_F(OperationsTest, CopyFileReportsProgressAndReturnsToTheFirstRecord) {
  ds_.Last();
  ds_.CopyFile(dir_.File("COPIA.DBF"), "");
  EXPECT_EQ(reports_, (std::vector<std::tuple<int, int, int>>{
                          {-1, 6, 4}, {6, 1, 0}, {6, 2, 0}, {6, 3, 0}, {6, 4, 0}, {0, 0, 0}}));
  EXPECT_EQ(ds_.RecNo(), 1);
  EXPECT_EQ(Codes(dir_.File("COPIA.DBF")), (std::vector<std::string>{"300", "100", "200", "100"}));
}

TEST_F(OperationsTest, SortFileWritesTheRecordsInKeyOrder) {
  ds_.SortFile(dir_.File("TEMPSORT.DBF"), "", 2, "CODIGO");
  EXPECT_EQ(Codes(dir_.File("TEMPSORT.DBF")), (std::vector<std::string>{"100", "100", "200", "300"}));
  ds_.SortFile(dir_.File("DESC"), "", 3, "CODIGO");
  EXPECT_EQ(Codes(dir_.File("DESC.dbf")), (std::vector<std::string>{"300", "200", "100", "100"}));
  EXPECT_EQ(ds_.State(), DataSetState::kBrowse);
  EXPECT_EQ(ds_.RecNo(), 1);
}

TEST_F(OperationsTest, SortFileWithAnEmptyOrOverlongKeyFailsBeforeWritingAnything) {
  EXPECT_EQ(ErrorOf([&] { ds_.SortFile(dir_.File("TEMPSORT.DBF"), "", 2, ""); }),
            "Sort key length must be 1-240 bytes, is 0");
  EXPECT_EQ(ErrorOf([&] { ds_.SortFile(dir_.File("TEMPSORT.DBF"), "", 2, std::string(241, 'C')); }),
            "Sort key length must be 1-240 bytes, is 241");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("TEMPSORT.DBF")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("TEMPSORT.dbf")));
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(ds_.busy_state(), BusyState::kIdle);
  EXPECT_EQ(ds_.FieldByName("CODIGO").AsString(), "300");
}

TEST_F(OperationsTest, ZapEmptiesTheTable) {
  ds_.Next();
  ds_.Zap();
  EXPECT_TRUE(ds_.IsEmpty());
  EXPECT_EQ(ds_.RecordCount(), 0);
  ds_.Close();
  EXPECT_EQ(std::filesystem::file_size(path_), static_cast<uintmax_t>(32 * 2 + 33 + 1));
}

}  // namespace
}  // namespace quarvel
