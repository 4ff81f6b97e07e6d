// Memos through the table in all three dialects, and enciphered tables read and written
// through the handler.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "dbf/dbase_fld.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "dbf/memo_file.h"
#include "dbf/table_cipher.h"
#include "support/dialects.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::TempDir;

std::string Text(size_t n) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7) % 26);
  return s;
}

class TableMemoTest : public ::testing::TestWithParam<int> {};

TEST_P(TableMemoTest, MemosRoundTripAndReplacementsReuseBlocks) {
  TempDir dir;
  std::string path = dir.File("NOTAS.DBF");
  {
    auto b = testsupport::DialectBuilder(GetParam(), path);
    b->AddField("CODIGO", 'C', 6, 0);
    b->AddField("OBS", 'M', 10, 0);
    b->Build();
  }
  const size_t sizes[] = {0, 1, 510, 511, 512, 100000};
  {
    dBaseFld t(dir.File("notas"), "", true, false);
    ASSERT_TRUE(t.has_memo());
    for (size_t n : sizes) {
      t.Blank();
      t.StringPut(1, std::to_string(n));
      t.StringPut(2, Text(n));
      t.Append();
    }
  }
  dBaseFld t(path, "", true, false);
  ASSERT_EQ(t.record_count(), 6);
  for (int r = 1; r <= 6; ++r) {
    t.GetRecord(r);
    size_t n = sizes[r - 1];
    EXPECT_EQ(t.StringGet(2), Text(n)) << "memo of " << n << " bytes";
    EXPECT_EQ(t.MemoSize(2), static_cast<int32_t>(n));
    if (n == 0) {
      EXPECT_EQ(t.FieldGet(2), std::string(10, ' '));  // no memo: blanks, not "0"
    }
  }

  // A replacement no longer than the old memo stays in its blocks.
  t.GetRecord(6);
  int32_t block = static_cast<int32_t>(t.NumberGet(2));
  t.StringPut(2, Text(50000));
  t.PutRecord(6);
  EXPECT_EQ(static_cast<int32_t>(t.NumberGet(2)), block);
  t.GetRecord(kReread);
  EXPECT_EQ(t.StringGet(2), Text(50000));
  // A longer one moves (dBase III and FoxPro append it; dBase IV finds room or appends).
  t.GetRecord(2);
  t.StringPut(2, Text(3000));
  t.PutRecord(2);
  t.GetRecord(kReread);
  EXPECT_EQ(t.StringGet(2), Text(3000));
  t.GetRecord(6);
  EXPECT_EQ(t.StringGet(2), Text(50000));
}

INSTANTIATE_TEST_SUITE_P(AllDialects, TableMemoTest, ::testing::Values(1, 2, 3));

// The memo file a builder creates takes the case of the table's extension, where other dBase
// programs look for it; an existing one is found in any case, and a renamed table takes its memo
// file along in the new name's case.
TEST(TableMemoTest, MemoFileNamesFollowTheCaseOfTheTableExtension) {
  struct Case {
    const char* table;
    const char* memo_base;  // + the dialect's extension in this case
    bool lower;
  };
  const Case cases[] = {{"t.dbf", "t", true}, {"T.DBF", "T", false}, {"Mixed.Dbf", "Mixed", true},
                        {"NOEXT", "NOEXT", false}, {"dados.DbF", "dados", true}};
  for (int dialect : {1, 2, 3}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.table) + " dialect " + std::to_string(dialect));
      TempDir dir;
      const std::string extension = dialect == 3 ? (c.lower ? ".fpt" : ".FPT") : (c.lower ? ".dbt" : ".DBT");
      const std::string memo = std::string(c.memo_base) + extension;
      const std::string table = std::string(c.table) + (ExtensionDot(c.table) == std::string::npos ? ".DBF" : "");
      {
        auto b = testsupport::DialectBuilder(dialect, dir.File(c.table));
        b->AddField("OBS", 'M', 10, 0);
        b->Build();
      }
      std::set<std::string> files;
      for (const auto& e : std::filesystem::directory_iterator(dir.path())) files.insert(e.path().filename());
      EXPECT_EQ(files, (std::set<std::string>{table, memo}));
      {
        dBaseFld t(dir.File(table), "", true, false);
        t.Blank();
        t.StringPut(1, "memo");
        t.Append();
      }
      // Another program renamed the memo file to the other case: still found, nothing new created.
      std::string other = memo;
      for (size_t i = other.size() - 3; i < other.size(); ++i) other[i] = static_cast<char>(other[i] ^ 0x20);
      std::filesystem::rename(dir.File(memo), dir.File(other));
      dBaseFld t(dir.File(table), "", true, false);
      t.GetRecord(1);
      EXPECT_EQ(t.StringGet(1), "memo");
      EXPECT_EQ(t.memo()->file_name(), dir.File(other));
      ASSERT_TRUE(t.Rename(dir.File("novo.dbf")));
      EXPECT_TRUE(std::filesystem::exists(dir.File(dialect == 3 ? "novo.fpt" : "novo.dbt")));
      t.GetRecord(1);
      EXPECT_EQ(t.StringGet(1), "memo");
    }
  }
}

TEST(TableMemoTest, AMemoFieldWithoutAMemoFileRefusesText) {
  TempDir dir;
  std::string path = dir.File("NOMEMO.DBF");
  // Version 0x03 with an M field: the table announces no memo file.
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, {{"OBS", 'M', 10}}, {}));
  dBaseFld t(path, "", true, false);
  t.Blank();
  try {
    t.StringPut(1, "lost?");
    FAIL() << "the text had nowhere to go";
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()), "File " + dir.File("NOMEMO.DBT") + " could not be found");
  }
}

// Writes an enciphered copy of a hand-made table: descriptors and every record with the password.
std::string Encipher(std::string bytes, const std::string& password, int fields, int record_length, int records) {
  bytes[15] = 1;
  CipherInPlace(password, &bytes[32], static_cast<size_t>(32 * fields));
  size_t header = static_cast<size_t>(32 * fields + 33);
  for (int r = 0; r < records; ++r) {
    CipherInPlace(password, &bytes[header + static_cast<size_t>(r * record_length)], static_cast<size_t>(record_length));
  }
  return bytes;
}

TEST(TableCipherTest, EncipheredTablesReadAndWriteThroughThePassword) {
  TempDir dir;
  std::string path = dir.File("SECRET.DBF");
  std::vector<testsupport::RawField> fields = {{"NOME", 'C', 8}, {"QTD", 'N', 4}};
  std::string plain = testsupport::TableBytes(0x03, fields, {" Ana        7", " Bia       12"});
  testsupport::WriteFileBytes(path, Encipher(plain, "pw", 2, 13, 2));
  {
    dBaseFld t(path, "pw", true, false);
    EXPECT_TRUE(t.encrypted());
    t.GetRecord(2);
    EXPECT_EQ(t.StringGet(1), "Bia");
    EXPECT_EQ(t.NumberGet(2), 12);
    t.Blank();
    t.StringPut(1, "Caio");
    t.NumberPut(2, 3);
    t.Append();
  }
  std::string bytes = testsupport::ReadFileBytes(path);
  std::string third = bytes.substr(32 * 2 + 33 + 26, 13);
  CipherInPlace("pw", third.data(), third.size());
  EXPECT_EQ(third, " Caio       3");
  EXPECT_THROW(dBaseFld(path, "wrong", false, false), EncryptionError);

  // Equal records encipher to equal bytes: the position restarts with every record.
  std::string a = " same record", b = a;
  CipherInPlace("key", a.data(), a.size());
  CipherInPlace("key", b.data(), b.size());
  EXPECT_EQ(a, b);
  EXPECT_NE(a, " same record");
  CipherInPlace("key", a.data(), a.size());
  EXPECT_EQ(a, " same record");
}

}  // namespace
}  // namespace dbase
