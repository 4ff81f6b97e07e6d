// Whole-table operations: structure and record copies with memos, Zap, and enciphering.
#include <gtest/gtest.h>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "support/dialects.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;

// A table of `count` records with a memo each (every third one empty) and a long C field.
std::string MakeMemoTable(const TempDir& dir, int dialect, int count) {
  std::string path = dir.File("SRC.DBF");
  {
    auto b = testsupport::DialectBuilder(dialect, path);
    b->AddField("CODIGO", 'C', 8, 0);
    b->AddField("TEXTO", 'C', 300, 0);
    b->AddField("OBS", 'M', 10, 0);
    b->Build();
  }
  dBHandler t(path, "", true, false);
  for (int i = 1; i <= count; ++i) {
    t.Blank();
    t.StringPut(1, "C" + std::to_string(i));
    t.StringPut(2, std::string(290, 'a' + i % 26));
    t.StringPut(3, i % 3 == 0 ? "" : "memo " + std::to_string(i) + std::string(i * 40, '.'));
    t.Append();
  }
  return path;
}

std::vector<std::string> Rows(dBHandler& t) {
  std::vector<std::string> rows;
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) {
    rows.push_back(std::string(t.deleted() ? "*" : " ") + t.StringGet(1) + "|" + t.StringGet(2) + "|" + t.StringGet(3));
  }
  return rows;
}

class OperationsTest : public ::testing::TestWithParam<int> {};

TEST_P(OperationsTest, CopyFileKeepsRecordsMarksAndMemos) {
  TempDir dir;
  std::string src = MakeMemoTable(dir, GetParam(), 12);
  dBHandler t(src, "", true, false);
  t.GetRecord(4);
  t.Delete();
  t.CopyFile(dir.File("ALL.DBF"), "");
  EXPECT_EQ(t.record_number(), 4);  // back where it was
  dBHandler all(dir.File("ALL.DBF"), "", false, false);
  EXPECT_EQ(all.record_length(), t.record_length());
  EXPECT_EQ(all.version(), t.version());
  EXPECT_EQ(Rows(all), Rows(t));

  t.set_use_deleted(false);
  t.CopyFile(dir.File("LIVE.DBF"), "");
  dBHandler live(dir.File("LIVE.DBF"), "", false, false);
  EXPECT_EQ(live.record_count(), 11);
}

TEST_P(OperationsTest, ZapEmptiesTableAndMemoFile) {
  TempDir dir;
  std::string src = MakeMemoTable(dir, GetParam(), 30);
  {
    dBHandler t(src, "", true, false);
    t.Zap();
    EXPECT_EQ(t.record_count(), 0);
    t.GetRecord(kFirst);
    EXPECT_TRUE(t.eof() && t.bof());
    t.Blank();
    t.StringPut(3, "after zap");
    t.Append();
  }
  dBHandler t(src, "", false, false);
  EXPECT_EQ(t.record_count(), 1);
  t.GetRecord(1);
  EXPECT_EQ(t.StringGet(3), "after zap");
}

TEST_P(OperationsTest, EncipherAndDecipherGiveBackTheTable) {
  TempDir dir;
  std::string src = MakeMemoTable(dir, GetParam(), 9);
  std::vector<std::string> before;
  {
    dBHandler t(src, "", true, false);
    t.GetRecord(2);
    t.Delete();
    before = Rows(t);
    t.SetPassword("segredo");
    EXPECT_TRUE(t.encrypted());
    EXPECT_EQ(Rows(t), before);
  }
  std::string enciphered = ReadFileBytes(src);
  EXPECT_EQ(enciphered[15], 1);
  EXPECT_EQ(enciphered.find("C1"), std::string::npos);
  EXPECT_THROW(dBHandler(src, "", false, false), EncryptionError);
  {
    dBHandler t(src, "segredo", true, false);
    EXPECT_EQ(Rows(t), before);
    t.SetPassword("");
    EXPECT_FALSE(t.encrypted());
  }
  dBHandler t(src, "", false, false);
  EXPECT_EQ(Rows(t), before);
}

INSTANTIATE_TEST_SUITE_P(AllDialects, OperationsTest, ::testing::Values(1, 2, 3));

TEST(OperationsTest, ZapLeavesTheExactBytesOfAnEmptyTable) {
  TempDir dir;
  std::string src = MakeMemoTable(dir, 3, 100);
  {
    dBHandler t(src, "", true, false);
    t.Zap();
  }
  std::string bytes = ReadFileBytes(src);
  int header_length = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
  EXPECT_EQ(bytes.size(), static_cast<size_t>(header_length + 1));
  EXPECT_EQ(bytes.back(), '\x1A');
  EXPECT_EQ(bytes.substr(4, 4), std::string(4, '\0'));
  std::string memo = ReadFileBytes(dir.File("SRC.FPT"));
  EXPECT_EQ(memo.size(), 512u);
  EXPECT_EQ(memo.substr(0, 4), std::string("\0\0\0\x08", 4));
}

TEST(OperationsTest, SharedTablesRefuseZapAndSetPasswordAndKeepTheirData) {
  TempDir dir;
  std::string src = MakeMemoTable(dir, 1, 5);
  dBHandler t(src, "", true, true);
  try {
    t.Zap();
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()), "Zap requires full access to file " + t.file_name());
  }
  try {
    t.SetPassword("x");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()), "SetPassword requires full access to file " + t.file_name());
  }
  EXPECT_EQ(t.record_count(), 5);
  EXPECT_THROW(t.SetPassword(""), EngineError);  // refused when shared, even with nothing to do
}

TEST(OperationsTest, CopyToAnUnwritableTargetLeavesTheSourceIntact) {
  TempDir dir;
  std::string src = MakeMemoTable(dir, 2, 5);
  std::string before = ReadFileBytes(src);
  dBHandler t(src, "", true, false);
  t.GetRecord(3);
  try {
    t.CopyFile(dir.File("no/such/folder/COPY.DBF"), "");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(DescribeError(e), "Could not create file " + dir.File("no/such/folder/COPY.DBF") +
                                    " (No such file or directory)");
  }
  EXPECT_EQ(t.lock_count(), 0);
  EXPECT_EQ(ReadFileBytes(src), before);
}

}  // namespace
}  // namespace dbase
