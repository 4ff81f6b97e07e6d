// The dataset over real index files: the production index opened with the table and kept by
// posts, order, FindKey/GotoKey and ranges through the active tag, master/detail over a tag, and
// the dataset's messages reached with real files.
#include <gtest/gtest.h>

#include <filesystem>

#include "dataset/data_source.h"
#include "dataset/table_dataset.h"
#include "dataset_test_support.h"
#include "index/index_tag.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testing_support::ErrorOf;
using testing_support::MakeTable;
using testing_support::Point;

class IndexDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // FoxPro table (type 0xF5 would need a memo): version 3 with a CDX named after it.
    MakeTable(dir_, "ITENS.DBF", {"CODIGO;C;6;0", "ITEM;C;4;0", "QTD;N;6;0"},
              {{"B", "1", "5"}, {"A", "2", "7"}, {"C", "3", "1"}, {"A", "4", "3"}, {"B", "5", "9"}});
    dbase::dBHandler t(dir_.File("ITENS.DBF"), "", true, false);
    t.DefineTag("ITENS.CDX", dbase::TagDefinition{"CODIGO", "CODIGO", "", false, false});
    t.DefineTag("ITENS.CDX", dbase::TagDefinition{"CODITEM", "CODIGO+ITEM", "", false, false});
    t.DefineTag("ITENS.CDX", dbase::TagDefinition{"QTD", "QTD", "QTD > 2", false, true});
  }
  std::string Walk(TTableDataSet& ds) {
    std::string seen;
    for (ds.First(); !ds.Eof(); ds.Next()) seen += ds.FieldByName("CODIGO").AsString() + ds.FieldByName("ITEM").AsString() + " ";
    return seen;
  }
  std::string Check() {
    dbase::dBHandler t(dir_.File("ITENS.DBF"), "", false, true);
    t.OpenProductionIndex();
    return t.CheckIndexes();
  }

  testsupport::TempDir dir_;
  TTableDataSet ds_;
};

TEST_F(IndexDataSetTest, ProductionIndexOrdersSearchesAndIsKeptByPosts) {
  Point(ds_, dir_.path(), "ITENS");
  ds_.SetIndexName("CODITEM");
  ds_.Open();
  EXPECT_EQ(ds_.IndexTagCount(), 3);
  EXPECT_EQ(ds_.IndexTagName(3), "QTD");
  EXPECT_EQ(ds_.IndexTagExpression(2), "CODIGO+ITEM");
  EXPECT_FALSE(ds_.IsSequenced());
  EXPECT_EQ(Walk(ds_), "A2 A4 B1 B5 C3 ");

  // A post that changes the key moves the record in the order; an append joins it.
  ASSERT_TRUE(ds_.FindKey({"C", "3"}));
  ds_.Edit();
  ds_.FieldByName("CODIGO").SetAsString("A");
  ds_.Post();
  ds_.Append();
  ds_.FieldByName("CODIGO").SetAsString("AA");
  ds_.FieldByName("ITEM").SetAsString("6");
  ds_.FieldByName("QTD").SetAsString("4");
  ds_.Post();
  EXPECT_EQ(Walk(ds_), "A2 A3 A4 AA6 B1 B5 ");

  // A partial key finds the first record it begins; GotoKey from the set-key buffer.
  ASSERT_TRUE(ds_.FindKey({"B"}));
  EXPECT_EQ(ds_.FieldByName("ITEM").AsString(), "1");
  EXPECT_FALSE(ds_.FindKey({"Z"}));
  ds_.SetKey();
  ds_.FieldByName("CODIGO").SetAsString("AA");
  EXPECT_TRUE(ds_.GotoKey());
  EXPECT_EQ(ds_.FieldByName("ITEM").AsString(), "6");

  // A range, and a descending FOR tag that leaves records out.
  ds_.SetIndexName("CODIGO");
  ds_.SetRange("A", "AA");
  EXPECT_EQ(Walk(ds_), "A2 A3 A4 AA6 ");
  ds_.CancelRange();
  ds_.SetIndexName("QTD");
  EXPECT_EQ(Walk(ds_), "B5 A2 B1 AA6 A4 ");
  ds_.Close();
  EXPECT_EQ(Check(), "");
}

TEST_F(IndexDataSetTest, MasterDetailFollowsTheMastersRecordThroughATag) {
  MakeTable(dir_, "CONTAGEM.DBF", {"CODIGO;C;6;0", "LOJA;C;4;0"}, {{"A", "L1"}, {"B", "L2"}, {"Z", "L3"}});
  TTableDataSet master;
  Point(master, dir_.path(), "CONTAGEM");
  master.Open();
  DataSource source(&master);
  Point(ds_, dir_.path(), "ITENS");
  ds_.SetIndexName("CODITEM");
  ds_.SetMasterFields("CODIGO");
  ds_.SetMasterSource(&source);
  ds_.Open();
  EXPECT_EQ(Walk(ds_), "A2 A4 ");
  master.Next();
  EXPECT_EQ(Walk(ds_), "B1 B5 ");
  master.Next();
  EXPECT_EQ(Walk(ds_), "");
  ds_.Close();

  // More master fields than the tag's key has: the dataset's message, with a real tag.
  ds_.SetIndexName("CODIGO");
  ds_.SetMasterFields("CODIGO;LOJA");
  EXPECT_EQ(ErrorOf([&] { ds_.Open(); }), "Master/Detail relation failed, field missmatch for ITENS.DBF");
  EXPECT_FALSE(ds_.Active());
}

TEST_F(IndexDataSetTest, MissingOrDamagedIndexFilesEndInTheEnginesMessages) {
  std::filesystem::remove(dir_.File("ITENS.CDX"));
  Point(ds_, dir_.path(), "ITENS");
  // The header still announces its production index (a version 3 table names the dBase IV one).
  EXPECT_EQ(ErrorOf([&] { ds_.Open(); }), "File " + dir_.File("ITENS.mdx") + " could not be found");
  EXPECT_FALSE(ds_.Active());
  testsupport::WriteFileBytes(dir_.File("ITENS.CDX"), std::string(1024, '\x7f'));
  EXPECT_EQ(ErrorOf([&] { ds_.Open(); }), "Index file " + dir_.File("ITENS.CDX") + " is corrupted");
  EXPECT_FALSE(ds_.Active());
}

}  // namespace
}  // namespace quarvel
