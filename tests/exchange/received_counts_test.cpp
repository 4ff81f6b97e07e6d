// The end-of-session exports of received counts: no count a handheld sent is lost when an export
// fails (no free name, a value that cannot be read, a full disk), a failed dBase copy leaves no
// partial file under the dated name, and kept tables are exported by the next session.
#include <gtest/gtest.h>

#include <filesystem>

#include "dbf/errors.h"
#include "exchange/data_exchange.h"
#include "exchange_test_support.h"
#include "platform/file_faults.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;
using exchange_test::ExchangeTest;
using exchange_test::FileNames;
using exchange_test::MakeTable;
using exchange_test::StoredRows;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

const std::vector<std::string> kCountSpecs = {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"};

class ReceivedCountsTest : public ExchangeTest {
 protected:
  void Receive(const std::vector<std::vector<std::string>>& rows) { MakeTable(count_table(), kCountSpecs, rows); }
  void ExportReceived() { exchange_.ExportReceivedCounts(dbf(), "IE", "CONTAGEM.DBF", true); }
  std::string Kept(int n) const { return dbf() + "/CONTAGEM-20241207-0" + std::to_string(n) + ".DBF"; }
  void TakeEveryTextName() {
    for (int n = 0; n < 100; ++n) {
      WriteFileBytes(txt() + "/IE1207" + (n < 10 ? "0" : "") + std::to_string(n) + ".TXT", "earlier");
    }
  }
  void FreeEveryTextName() {
    for (const std::string& name : FileNames(txt())) fs::remove(txt() + "/" + name);
  }
};

TEST_F(ReceivedCountsTest, AllExportsDoneLeaveNothingKept) {
  Receive({{"A1", "01", "12"}});
  ExportReceived();
  EXPECT_EQ(FileNames(dbf()), (std::vector<std::string>{"CONTAGEM.DBF", "IE120701.DBF"}));
  EXPECT_EQ(log_.lines().size(), 6u);
}

TEST_F(ReceivedCountsTest, ATableWhoseExportsFailedIsKeptAndExportedByTheNextSession) {
  TakeEveryTextName();
  Receive({{"A1", "01", "12"}, {"B2", "02", "7"}});
  const std::vector<std::string> first = StoredRows(count_table());
  ExportReceived();
  EXPECT_EQ(log_.Take().back(), "> Exportação incompleta: as contagens recebidas foram guardadas em " + Kept(1));
  EXPECT_FALSE(fs::exists(count_table()));
  EXPECT_EQ(StoredRows(Kept(1)), first);
  EXPECT_TRUE(fs::exists(csv() + "/IE120701.CSV"));  // the other exports went on

  // The next unload overwrites nothing kept; it fails the same way and keeps its own table.
  Receive({{"C3", "03", "5"}});
  ExportReceived();
  EXPECT_EQ(log_.Take().back(), "> Exportação incompleta: as contagens recebidas foram guardadas em " + Kept(2));
  EXPECT_EQ(StoredRows(Kept(1)), first);

  // Once the names are free, the kept tables go first, oldest first, and are removed.
  FreeEveryTextName();
  Receive({{"D4", "04", "1"}});
  ExportReceived();
  const std::vector<std::string> lines = log_.Take();
  EXPECT_EQ(lines.front(), "> Exportando contagens guardadas em " + Kept(1));
  EXPECT_NE(std::find(lines.begin(), lines.end(), "> Contagens guardadas em " + Kept(1) + " exportadas; arquivo removido."),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "> Contagens guardadas em " + Kept(2) + " exportadas; arquivo removido."),
            lines.end());
  EXPECT_EQ(ReadFileBytes(txt() + "/IE120701.TXT"),
            "A1                  01  000012\r\nB2                  02  000007\r\n");
  EXPECT_EQ(ReadFileBytes(txt() + "/IE120702.TXT"), "C3                  03  000005\r\n");
  EXPECT_EQ(ReadFileBytes(txt() + "/IE120703.TXT"), "D4                  04  000001\r\n");
  EXPECT_FALSE(fs::exists(Kept(1)));
  EXPECT_FALSE(fs::exists(Kept(2)));
  EXPECT_TRUE(fs::exists(count_table()));
}

// A value the exports cannot read ends them with the engine's message in the log; the session
// goes on and the counts are kept.
TEST_F(ReceivedCountsTest, AnUnreadableValueIsLoggedAndTheTableKept) {
  Receive({{"A1", "01", "12"}});
  {
    dbase::dBHandler table(count_table(), "", true, false);
    table.GetRecord(1);
    table.FieldPut(3, "  12a ");
    table.PutRecord(1);
  }
  const std::vector<std::string> rows = StoredRows(count_table());
  ExportReceived();
  const std::vector<std::string> lines = log_.Take();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "> Invalid numeric value in field CONTAGEM->ESTOQUE (12a)"),
            lines.end());
  EXPECT_EQ(lines.back(), "> Exportação incompleta: as contagens recebidas foram guardadas em " + Kept(1));
  EXPECT_EQ(StoredRows(Kept(1)), rows);
  EXPECT_FALSE(dataset_.Active());
}

// A full disk during the dBase copy leaves no IE...DBF behind, so its name stays free, and the
// log gives the system's reason.
TEST_F(ReceivedCountsTest, AFullDiskLeavesNoPartialCopyAndKeepsTheCounts) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < 50; ++i) rows.push_back({"C" + std::to_string(i), "01", std::to_string(i)});
  Receive(rows);
  settings_.make_txt = settings_.make_csv = false;
  {
    dbase::platform::ScopedFileFaultForTesting full({dbase::platform::FileOp::kWrite, 4, ENOSPC, true});
    EXPECT_THROW(exchange_.ExportDbf(dbf(), "IE", "CONTAGEM.DBF"), dbase::EngineError);
  }
  dataset_.Close();
  EXPECT_EQ(FileNames(dbf()), (std::vector<std::string>{"CONTAGEM.DBF"}));
  log_.Take();
  {
    dbase::platform::ScopedFileFaultForTesting full({dbase::platform::FileOp::kWrite, 4, ENOSPC, true});
    ExportReceived();
  }
  const std::vector<std::string> lines = log_.Take();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].substr(0, 18), "> Error writing to");
  EXPECT_NE(lines[1].find("(No space left on device)"), std::string::npos);
  EXPECT_EQ(FileNames(dbf()), (std::vector<std::string>{"CONTAGEM-20241207-01.DBF"}));
  EXPECT_EQ(StoredRows(Kept(1)).size(), 50u);
}

// N fields narrower than their decimals (N 3 2 holding .99 or blanks) are exported as the
// export rules say: a value wider than its field is written in full.
TEST_F(ReceivedCountsTest, NarrowNumberFieldsAreExported) {
  MakeTable(count_table(), {"CODIGO;C;4;0", "FRACAO;N;3;2"}, {{"A", ".99"}, {"B", ""}});
  ExportReceived();
  EXPECT_EQ(ReadFileBytes(txt() + "/IE120701.TXT"), "A   0.99\r\nB   0.00\r\n");
  EXPECT_EQ(ReadFileBytes(csv() + "/IE120701.CSV"), "\"A\",0.99\r\n\"B\",0.00\r\n");
  EXPECT_EQ(StoredRows(dbf() + "/IE120701.DBF"), (std::vector<std::string>{"A   |.99", "B   |.00"}));
}

}  // namespace
}  // namespace quarvel
