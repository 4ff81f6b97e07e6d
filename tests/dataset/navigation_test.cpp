// Navigation through the buffer ring (with a data link asking for several buffers), bookmarks
// and record numbers, scroll notifications and data events, filters, locate and lookup, and
// calculated and lookup fields.
#include <gtest/gtest.h>

#include "dataset/data_source.h"
#include "dataset/database_error.h"
#include "dataset/table_dataset.h"
#include "dataset_test_support.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testing_support::MakeTable;
using testing_support::Point;
using testsupport::TempDir;

const std::vector<std::string> kCountSpecs = {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"};

// A follower that wants `buffers` records in the ring and counts what it hears.
class CountingLink : public DataLink {
 public:
  explicit CountingLink(int buffers) { SetBufferCount(buffers); }
  int active_changes = 0, dataset_changes = 0, scrolls = 0, field_changes = 0, editing_changes = 0;

 protected:
  void ActiveChanged() override { ++active_changes; }
  void DataSetChanged() override { ++dataset_changes; }
  void DataSetScrolled(int) override { ++scrolls; }
  void RecordChanged(const Field* field) override {
    if (field) ++field_changes;
  }
  void EditingChanged() override { ++editing_changes; }
};

class NavigationTest : public ::testing::Test {
 protected:
  void Open(int buffers, int records = 10) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= records; ++i) rows.push_back({"C" + std::to_string(i), i % 2 ? "L1" : "L2", std::to_string(i)});
    MakeTable(dir_, "CONTAGEM.DBF", kCountSpecs, rows);
    Point(ds_, dir_.path(), "CONTAGEM");
    source_.SetDataSet(&ds_);
    link_ = std::make_unique<CountingLink>(buffers);
    link_->SetDataSource(&source_);
    ds_.Open();
  }
  std::vector<int> Forward() {
    std::vector<int> seen;
    for (ds_.First(); !ds_.Eof(); ds_.Next()) seen.push_back(ds_.RecNo());
    return seen;
  }
  std::vector<int> Backward() {
    std::vector<int> seen;
    for (ds_.Last(); !ds_.Bof(); ds_.Prior()) seen.push_back(ds_.RecNo());
    return seen;
  }
  std::string Code() { return ds_.FieldByName("CODIGO").AsString(); }
  void TearDown() override {
    link_.reset();
    ds_.Close();
  }

  TempDir dir_;
  TTableDataSet ds_;
  DataSource source_;
  std::unique_ptr<CountingLink> link_;
};

TEST_F(NavigationTest, RingOfSeveralBuffersWalksBothWays) {
  Open(4);
  EXPECT_EQ(ds_.BufferCount(), 4);
  EXPECT_EQ(ds_.RingRecordCount(), 4);
  EXPECT_EQ(Forward(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(Backward(), (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  ds_.First();
  EXPECT_EQ(ds_.MoveBy(5), 5);
  EXPECT_EQ(ds_.RecNo(), 6);
  EXPECT_EQ(ds_.MoveBy(-3), -3);
  EXPECT_EQ(Code(), "C3");
  EXPECT_EQ(ds_.MoveBy(20), 7);
  EXPECT_TRUE(ds_.Eof());
  EXPECT_EQ(ds_.RecNo(), 10);
  EXPECT_EQ(ds_.MoveBy(1), 0);
}

TEST_F(NavigationTest, FewerBuffersAskedForWhileOpenKeepTheActiveRecord) {
  Open(5);
  ds_.SetRecNo(7);
  link_->SetBufferCount(2);
  EXPECT_EQ(ds_.BufferCount(), 2);
  EXPECT_EQ(ds_.RecNo(), 7);
  ds_.Next();
  EXPECT_EQ(ds_.RecNo(), 8);
  link_->SetBufferCount(6);
  EXPECT_EQ(ds_.RecNo(), 8);
  ds_.Prior();
  EXPECT_EQ(ds_.RecNo(), 7);
  EXPECT_EQ(Forward().size(), 10u);
}

TEST_F(NavigationTest, InsertInsideTheRingAndCancelOrPost) {
  Open(4);
  ds_.SetRecNo(5);
  ds_.Insert();
  EXPECT_EQ(ds_.RecNo(), 0);
  EXPECT_TRUE(ds_.GetBookmark().empty());
  ds_.Cancel();
  EXPECT_EQ(ds_.RecNo(), 5);
  ds_.Insert();
  ds_.FieldByName("CODIGO").SetAsString("NOVO");
  ds_.Post();
  EXPECT_EQ(ds_.RecNo(), 11);  // dBase tables add at the end
  EXPECT_EQ(Code(), "NOVO");
  ds_.Append();
  ds_.Cancel();
  EXPECT_EQ(ds_.RecNo(), 11);
  EXPECT_EQ(Forward().size(), 11u);
}

TEST_F(NavigationTest, BookmarksAndRecordNumbers) {
  Open(3);
  ds_.SetRecNo(7);
  Bookmark seven = ds_.GetBookmark();
  EXPECT_EQ(seven, std::string("         7") + '\0');
  ds_.First();
  Bookmark one = ds_.GetBookmark();
  ds_.GotoBookmark(seven);
  EXPECT_EQ(Code(), "C7");
  EXPECT_EQ(ds_.CompareBookmarks(one, seven), -1);
  EXPECT_EQ(ds_.CompareBookmarks(seven, one), 1);
  EXPECT_EQ(ds_.CompareBookmarks(seven, seven), 0);
  EXPECT_EQ(ds_.CompareBookmarks("", one), -1);
  EXPECT_EQ(ds_.CompareBookmarks("", ""), 0);
  EXPECT_TRUE(ds_.BookmarkValid(seven));
  EXPECT_TRUE(ds_.BookmarkValid("        10"));
  EXPECT_FALSE(ds_.BookmarkValid("        11"));
  EXPECT_FALSE(ds_.BookmarkValid("         0"));
  EXPECT_TRUE(ds_.IsSequenced());
}

TEST_F(NavigationTest, ScrollNotificationsAndDataEvents) {
  Open(1);
  int before = 0, after = 0;
  ds_.BeforeScroll = [&](DataSet&) { ++before; };
  ds_.AfterScroll = [&](DataSet&) { ++after; };
  EXPECT_EQ(link_->active_changes, 1);
  ds_.Next();
  ds_.Next();
  EXPECT_EQ(before, 2);
  EXPECT_EQ(after, 2);
  EXPECT_GE(link_->scrolls + link_->dataset_changes, 2);

  ds_.Edit();
  EXPECT_EQ(link_->editing_changes, 1);
  ds_.FieldByName("LOJA").SetAsString("L9");
  EXPECT_EQ(link_->field_changes, 1);
  ds_.Post();
  EXPECT_EQ(link_->editing_changes, 2);

  int changes = link_->dataset_changes + link_->scrolls;
  ds_.DisableControls();
  ds_.Next();
  ds_.Next();
  EXPECT_EQ(link_->dataset_changes + link_->scrolls, changes);  // held back
  ds_.EnableControls();
  EXPECT_EQ(link_->dataset_changes + link_->scrolls, changes + 1);  // one change for all
  ds_.Close();
  EXPECT_EQ(link_->active_changes, 2);
}

TEST_F(NavigationTest, FilterExpressionAndOnFilterRecord) {
  Open(2);
  ds_.SetFilter("ESTOQUE > 6");
  ds_.SetFiltered(true);
  EXPECT_FALSE(ds_.IsSequenced());
  EXPECT_EQ(Forward(), (std::vector<int>{7, 8, 9, 10}));
  std::vector<std::string> asked;
  ds_.OnFilterRecord = [&](DataSet& d, bool& accept) {
    EXPECT_EQ(d.State(), DataSetState::kFilter);
    asked.push_back(d.FieldByName("CODIGO").AsString());
    accept = d.FieldByName("LOJA").AsString() == "L2";
  };
  EXPECT_EQ(Forward(), (std::vector<int>{8, 10}));
  EXPECT_FALSE(asked.empty());
  ds_.SetExactCount(true);
  EXPECT_EQ(ds_.RecordCount(), 2);
  ds_.SetFiltered(false);
  EXPECT_EQ(Forward().size(), 10u);
  EXPECT_EQ(ds_.RecordCount(), 10);
  ds_.SetFilter("LOJA = 'l2'");
  ds_.SetFilterOptions(FilterOptions{true, false});
  ds_.OnFilterRecord = nullptr;
  ds_.SetFiltered(true);
  EXPECT_EQ(Forward(), (std::vector<int>{2, 4, 6, 8, 10}));
}

TEST_F(NavigationTest, LocateMovesLookupDoesNot) {
  Open(3);
  ds_.SetRecNo(2);
  EXPECT_TRUE(ds_.Locate("CODIGO", {Variant("C7")}, {}));
  EXPECT_EQ(ds_.RecNo(), 7);
  EXPECT_FALSE(ds_.Locate("CODIGO", {Variant("C77")}, {}));
  EXPECT_EQ(ds_.RecNo(), 7);  // stays where it was
  EXPECT_TRUE(ds_.Locate("CODIGO;LOJA", {Variant("c9"), Variant("l1")}, LocateOptions{true, false}));
  EXPECT_EQ(ds_.RecNo(), 9);
  EXPECT_TRUE(ds_.Locate("LOJA;CODIGO", {Variant("L2"), Variant("C1")}, LocateOptions{false, true}));
  EXPECT_EQ(ds_.RecNo(), 10);
  ds_.Next();  // the ring still follows the handler after a locate
  EXPECT_TRUE(ds_.Eof());

  ds_.SetRecNo(3);
  std::vector<Variant> found = ds_.Lookup("ESTOQUE", {Variant(5)}, "CODIGO;LOJA");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], Variant("C5"));
  EXPECT_EQ(found[1], Variant("L1"));
  EXPECT_TRUE(ds_.Lookup("ESTOQUE", {Variant(50)}, "CODIGO").empty());
  EXPECT_EQ(ds_.RecNo(), 3);
  ds_.Next();
  EXPECT_EQ(ds_.RecNo(), 4);
}

TEST(CalculatedFields, ComputedOnEveryRecordAndAfterEachChange) {
  TempDir dir;
  MakeTable(dir, "PRODUTOS.DBF", {"CODIGO;C;20;0", "DESCRICAO;C;40;0"}, {{"C1", "Arroz"}, {"C2", "Feijao"}});
  MakeTable(dir, "CONTAGEM.DBF", kCountSpecs, {{"C2", "L1", "3"}, {"C9", "L1", "4"}, {"C1", "L2", "5"}});
  TTableDataSet products;
  Point(products, dir.path(), "PRODUTOS");
  products.Open();
  TTableDataSet counts;
  Point(counts, dir.path(), "CONTAGEM");
  Field& doubled = counts.AddCalculatedField("DOBRO", FieldType::kInteger);
  Field& name = counts.AddLookupField("NOME", FieldType::kString, 40,
                                      Field::LookupDef{&products, "CODIGO", "CODIGO", "DESCRICAO"});
  counts.OnCalcFields = [&](DataSet& d) {
    EXPECT_EQ(d.State(), DataSetState::kCalcFields);
    d.FieldByName("DOBRO").SetAsInteger(d.FieldByName("ESTOQUE").AsInteger() * 2);
  };
  counts.Open();
  ASSERT_EQ(counts.FieldCount(), 5);
  EXPECT_TRUE(doubled.Calculated());
  EXPECT_EQ(doubled.AsInteger(), 6);
  EXPECT_EQ(name.AsString(), "Feijao");
  counts.Next();
  EXPECT_EQ(doubled.AsInteger(), 8);
  EXPECT_TRUE(name.IsNull());  // no such product
  counts.Next();
  EXPECT_EQ(name.AsString(), "Arroz");
  counts.Edit();
  counts.FieldByName("ESTOQUE").SetAsInteger(21);
  EXPECT_EQ(doubled.AsInteger(), 42);
  counts.FieldByName("CODIGO").SetAsString("C2");
  EXPECT_EQ(name.AsString(), "Feijao");
  counts.Cancel();
  EXPECT_EQ(doubled.AsInteger(), 10);
  // Lookup computes the calculated fields of the record it finds.
  std::vector<Variant> found = counts.Lookup("CODIGO", {Variant("C2")}, "DOBRO;NOME");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], Variant(6));
  EXPECT_EQ(found[1], Variant("Feijao"));
  counts.Close();
  EXPECT_EQ(counts.FieldCount(), 2);  // the calculated fields stay; the table's go
  EXPECT_EQ(counts.FieldByName("DOBRO").FieldName(), "DOBRO");
}

}  // namespace
}  // namespace quarvel
