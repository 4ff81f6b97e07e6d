// The dataset's refusals, each with its exact text: closed or busy datasets, states that do not
// allow writing, records that vanished under a shared dataset, bookmarks, index files and
// master/detail links.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

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
using testsupport::WriteFileBytes;

const std::vector<std::string> kCountSpecs = {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"};
constexpr int kHeader = 129;  // 32 * 3 + 33
constexpr int kRecord = 31;

// Another program cuts the shared table down to `records` records.
void CutTable(const std::string& path, int records) {
  ASSERT_EQ(::truncate(path.c_str(), kHeader + records * kRecord), 0);
}

class MessagesTest : public ::testing::Test {
 protected:
  void Open(int records = 3) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= records; ++i) rows.push_back({std::string(1, static_cast<char>('A' + i - 1)), "L", "1"});
    path_ = MakeTable(dir_, "CONTAGEM.DBF", kCountSpecs, rows);
    Point(ds_, dir_.path(), "CONTAGEM");
    ds_.Open();
  }
  TempDir dir_;
  std::string path_;
  TTableDataSet ds_;
};

TEST_F(MessagesTest, ClosedDataset) {
  const std::string closed = "Cannot perform this operation on a closed dataset";
  EXPECT_EQ(ErrorOf([&] { ds_.RecordCount(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds_.Next(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds_.Insert(); }), closed);
}

TEST_F(MessagesTest, WritingOutsideEditAndInsert) {
  Open();
  const std::string not_editing = "Dataset not in edit or insert mode";
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("CODIGO").SetAsString("x"); }), not_editing);
  EXPECT_EQ(ErrorOf([&] { ds_.Post(); }), not_editing);
  ds_.Close();
  EXPECT_EQ(ErrorOf([&] { ds_.Open(); ds_.Close(); ds_.FieldCount(); }), "(no error)");
}

TEST_F(MessagesTest, ReadOnlyFieldAndNonIndexFieldInSetKeyState) {
  Open();
  ds_.FieldByName("LOJA").SetReadOnly(true);
  ds_.Edit();
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("LOJA").SetAsString("x"); }), "Field 'LOJA' cannot be modified");
  ds_.Cancel();
  ds_.SetKey();
  EXPECT_EQ(ds_.State(), DataSetState::kSetKey);
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("CODIGO").SetAsString("A"); }),
            "Field 'CODIGO' is not indexed and cannot be modified");
  ds_.Post();  // leaves the set-key state
  EXPECT_EQ(ds_.State(), DataSetState::kBrowse);
  EXPECT_FALSE(ds_.GotoKey());  // no index: nothing to find
}

TEST_F(MessagesTest, RecordRequestsBeyondTheTable) {
  Open();
  const std::string beyond = "Record request beyond range of table";
  EXPECT_EQ(ErrorOf([&] { ds_.SetRecNo(4); }), beyond);
  EXPECT_EQ(ErrorOf([&] { ds_.SetRecNo(0); }), beyond);
  ds_.SetRecNo(2);
  EXPECT_EQ(ds_.FieldByName("CODIGO").AsString(), "B");
}

TEST(RecordFetch, MovingToARecordCutAwayByAnotherProgramFails) {
  // More records than the read-ahead buffer holds, so the move reads the file.
  TempDir dir;
  std::vector<std::vector<std::string>> rows(2000, {"X", "L", "1"});
  std::string path = MakeTable(dir, "CONTAGEM.DBF", kCountSpecs, rows);
  TTableDataSet ds;
  Point(ds, dir.path(), "CONTAGEM");
  ds.Open();
  ds.SetRecNo(1500);
  CutTable(path, 100);
  EXPECT_EQ(ErrorOf([&] { ds.Prior(); }), "Record request beyond range of table");
}

TEST_F(MessagesTest, DeleteAndRecallOfARecordThatIsGone) {
  Open();
  ds_.Last();
  CutTable(path_, 2);
  EXPECT_EQ(ErrorOf([&] { ds_.Delete(); }), "Cannot delete the record");
  EXPECT_EQ(ErrorOf([&] { ds_.Recall(); }), "Cannot recall the record");
  EXPECT_EQ(std::filesystem::file_size(path_), static_cast<uintmax_t>(kHeader + 2 * kRecord));  // nothing added
}

TEST_F(MessagesTest, BookmarkThatIsNoNumber) {
  Open();
  EXPECT_EQ(ErrorOf([&] { ds_.GotoBookmark("abc"); }), "Bookmark is invalid for table CONTAGEM.DBF");
  EXPECT_FALSE(ds_.BookmarkValid("abc"));
}

TEST_F(MessagesTest, CircularDataLinks) {
  Open();
  DataSource own(&ds_);
  EXPECT_EQ(ErrorOf([&] { ds_.SetMasterSource(&own); }), "Circular datalinks are not allowed");
  TTableDataSet detail;
  DataSource detail_source(&detail);
  MakeTable(dir_, "ITENS.DBF", {"CODIGO;C;20;0"});
  Point(detail, dir_.path(), "ITENS");
  EXPECT_EQ(ErrorOf([&] { detail.SetMasterSource(&own); }), "(no error)");  // not opened yet
  // The master may not follow its own detail.
  EXPECT_EQ(ErrorOf([&] { ds_.SetMasterSource(&detail_source); }), "Circular datalinks are not allowed");
  EXPECT_EQ(ErrorOf([&] { own.SetDataSet(&detail); }), "Circular datalinks are not allowed");
  EXPECT_EQ(ds_.MasterSource(), nullptr);
  detail.SetMasterSource(nullptr);
}

TEST_F(MessagesTest, MasterDetailNeedsAnIndexOnTheDetail) {
  Open();
  DataSource master(&ds_);
  TTableDataSet detail;
  MakeTable(dir_, "ITENS.DBF", {"CODIGO;C;20;0", "ITEM;C;5;0"}, {{"A", "1"}});
  Point(detail, dir_.path(), "ITENS");
  detail.SetMasterFields("CODIGO");
  detail.SetMasterSource(&master);
  EXPECT_EQ(ErrorOf([&] { detail.Open(); }), "Master/Detail relation failed, no index open for ITENS.DBF");
  EXPECT_FALSE(detail.Active());
  // With the master closed there is no range to apply.
  ds_.Close();
  detail.Open();
  EXPECT_EQ(detail.FieldByName("ITEM").AsString(), "1");
  EXPECT_EQ(ErrorOf([&] { ds_.Open(); }), "Master/Detail relation failed, no index open for ITENS.DBF");
}

// A table object whose index files open without an index format, to reach the dataset's own
// checks around them.
class FakeIndexTable : public DBFObject {
 public:
  using DBFObject::DBFObject;
  bool refuse = false;
  std::vector<std::string> opened;
  bool AddIndexFile(const std::string& path) override {
    if (refuse) return false;
    opened.push_back(path);
    return true;
  }
  void CloseIndexFiles() override { opened.clear(); }
  void RebuildIndexes() override {
    StatusUpdate(-1, 1, record_count());
    for (int32_t r = 1; r <= record_count(); ++r) StatusUpdate(1, r, 0);
    StatusUpdate(0, 0, 0);
  }
};

class FakeIndexDataSet : public TTableDataSet {
 public:
  bool refuse = false;
  FakeIndexTable* fake() const { return static_cast<FakeIndexTable*>(TableObject()); }

 protected:
  std::unique_ptr<DBFObject> CreateTableObject(const std::string& path, const std::string& password, bool read_write,
                                               bool shared) override {
    auto table = std::make_unique<FakeIndexTable>(this, path, password, read_write, shared);
    table->refuse = refuse;
    return table;
  }
};

TEST_F(MessagesTest, IndexFilesMissingRepeatedOrFailing) {
  MakeTable(dir_, "CONTAGEM.DBF", kCountSpecs, {{"A", "", "1"}});
  WriteFileBytes(dir_.File("CODIGO.ndx"), std::string(512, '\0'));
  FakeIndexDataSet ds;
  Point(ds, dir_.path(), "CONTAGEM");
  ds.SetIndexFiles({"NADA"});
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Cannot find file " + dir_.File("NADA.ndx"));
  EXPECT_FALSE(ds.Active());

  ds.SetIndexFiles({"CODIGO", dir_.File("codigo.NDX")});
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Index file " + dir_.File("codigo.NDX") + " already open");

  ds.SetIndexFiles({"CODIGO.ndx"});
  ds.refuse = true;
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Error getting " + dir_.File("CODIGO.ndx"));
  ds.refuse = false;
  ds.Open();
  EXPECT_EQ(ds.fake()->opened, std::vector<std::string>{dir_.File("CODIGO.ndx")});
  // Re-applied while open, a name without extension gets the upper-case one.
  WriteFileBytes(dir_.File("LOJA.NDX"), std::string(512, '\0'));
  ds.SetIndexFiles({"LOJA"});
  EXPECT_EQ(ds.fake()->opened, std::vector<std::string>{dir_.File("LOJA.NDX")});
  EXPECT_EQ(ds.IndexTagCount(), 0);
  EXPECT_EQ(ds.IndexTagName(1), "");
}

TEST_F(MessagesTest, OpeningARealIndexFileReportsTheEnginesMessage) {
  MakeTable(dir_, "CONTAGEM.DBF", kCountSpecs, {{"A", "", "1"}});
  WriteFileBytes(dir_.File("CODIGO.ndx"), std::string(512, '\0'));
  Point(ds_, dir_.path(), "CONTAGEM");
  ds_.SetIndexFiles({"CODIGO"});
  EXPECT_EQ(ErrorOf([&] { ds_.Open(); }), "Index file " + dir_.File("CODIGO.ndx") + " is corrupted");
  EXPECT_FALSE(ds_.Active());
  ds_.SetIndexFiles({});
  ds_.SetIndexName("CODIGO");
  EXPECT_EQ(ErrorOf([&] { ds_.Open(); }), "Cannot find index tag CODIGO");
  ds_.SetIndexName("");
  ds_.Open();
  EXPECT_EQ(ErrorOf([&] { ds_.SetIndexName("LOJA"); }), "Cannot find index tag LOJA");
  EXPECT_TRUE(ds_.IsSequenced());
}

TEST_F(MessagesTest, BusyWhileCopyingOrBuildingAnIndex) {
  MakeTable(dir_, "CONTAGEM.DBF", kCountSpecs, {{"A", "", "1"}, {"B", "", "2"}});
  FakeIndexDataSet ds;
  Point(ds, dir_.path(), "CONTAGEM");
  ds.SetExclusive(true);
  std::vector<std::string> seen;
  ds.OnStatus = [&](TTableDataSet& d, int stat1, int, int) {
    if (stat1 == -1) {
      seen.push_back(ErrorOf([&] { d.RecordCount(); }));
      seen.push_back(ErrorOf([&] { d.Next(); }));
    }
  };
  ds.Open();
  auto only = [](const std::vector<std::string>& v, const std::string& text) {
    return !v.empty() && std::count(v.begin(), v.end(), text) == static_cast<long>(v.size());
  };
  ds.CopyFile(dir_.File("COPIA.DBF"), "");
  EXPECT_TRUE(only(seen, "Table is busy copying"));
  seen.clear();
  ds.SortFile(dir_.File("ORDEM.DBF"), "", 2, "CODIGO");
  EXPECT_TRUE(only(seen, "Table is busy copying"));
  seen.clear();
  ds.Reindex();
  EXPECT_TRUE(only(seen, "Table is busy building an index"));
  EXPECT_EQ(ds.busy_state(), BusyState::kIdle);
  EXPECT_EQ(ds.RecordCount(), 2);
}

TEST_F(MessagesTest, FailedCopyStillReturnsToIdle) {
  Open();
  TTableDataSet holder;  // holds the source shared, so the copy cannot lock it for itself
  Point(holder, dir_.path(), "CONTAGEM");
  holder.Open();
  holder.Edit();
  auto saved = dbase::GlobalLockRetry();
  dbase::GlobalLockRetry() = dbase::LockRetry{2, 1};
  ds_.DisableControls();
  std::string error = ErrorOf([&] { ds_.CopyFile(dir_.File("COPIA.DBF"), ""); });
  dbase::GlobalLockRetry() = saved;
  EXPECT_EQ(error, "CopyFile requires full access to file " + path_);
  EXPECT_EQ(ds_.busy_state(), BusyState::kIdle);
  ds_.EnableControls();
  EXPECT_FALSE(ds_.ControlsDisabled());
  EXPECT_EQ(ds_.FieldByName("CODIGO").AsString(), "A");
}

}  // namespace
}  // namespace quarvel
