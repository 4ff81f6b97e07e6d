// What the handler leaves to the formats below it: the emptied memo file a Zap writes comes from
// the memo format (whatever its block size), and ";" field lists follow the one splitting rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbf/dbf_build.h"
#include "handler/db_handler.h"
#include "platform/name_list.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

// A FoxPro memo file of any block size empties to a header whose next free block is the first
// block after the 512 header bytes, and the first memo written afterwards lands right there.
TEST(FormatOwnedTest, ZapEmptiesAFoxMemoFileOfAnyBlockSize) {
  for (const uint32_t block_size : {32u, 64u, 100u, 512u, 1024u}) {
    SCOPED_TRACE(block_size);
    TempDir dir;
    const std::string path = dir.File("T.DBF");
    {
      DBFoxBuild build(path);
      build.AddField("CODIGO", 'C', 4, 0);
      build.AddField("OBS", 'M', 10, 0);
      build.Build();
    }
    const uint32_t first_free = (512 + block_size - 1) / block_size;
    std::string memo = ReadFileBytes(dir.File("T.FPT"));
    memo.resize(512);
    for (int i = 0; i < 4; ++i) memo[i] = static_cast<char>(first_free >> (24 - 8 * i));
    memo[6] = static_cast<char>(block_size >> 8);
    memo[7] = static_cast<char>(block_size);
    WriteFileBytes(dir.File("T.FPT"), memo);
    {
      dBHandler t(path, "", true, false);
      for (int i = 0; i < 5; ++i) {
        t.Blank();
        t.StringPut(2, std::string(300 * i + 1, 'x'));
        t.Append();
      }
      t.Zap();
    }
    const std::string emptied = ReadFileBytes(dir.File("T.FPT"));
    ASSERT_EQ(emptied.size(), 512u);
    EXPECT_EQ(BigEndian32(emptied, 0), first_free);
    EXPECT_EQ(emptied.substr(4), memo.substr(4));  // block size and the rest kept
    {
      dBHandler t(path, "", true, false);
      t.Blank();
      t.StringPut(2, "after zap");
      t.Append();
    }
    const std::string written = ReadFileBytes(dir.File("T.FPT"));
    const size_t first_memo = size_t{first_free} * block_size;  // the first block after the header
    ASSERT_GE(written.size(), first_memo + 8);
    EXPECT_EQ(BigEndian32(written, first_memo), 1u);  // a text memo of 9 bytes
    EXPECT_EQ(BigEndian32(written, first_memo + 4), 9u);
    dBHandler t(path, "", false, false);
    t.GetRecord(1);
    EXPECT_EQ(t.StringGet(2), "after zap");
  }
}

TEST(FormatOwnedTest, NameListsTrimEveryNameAndDropEmptyOnes) {
  const struct {
    const char* list;
    std::vector<std::string> names;
  } cases[] = {
      {"", {}},
      {";; ;\t", {}},
      {"CODIGO", {"CODIGO"}},
      {" CODIGO", {"CODIGO"}},
      {"CODIGO ;\tQTD\t; ", {"CODIGO", "QTD"}},
      {";A;;B;", {"A", "B"}},
      {"A B;C", {"A B", "C"}},  // blanks inside a name are the name's
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    EXPECT_EQ(platform::SplitNameList(c.list), c.names);
  }

  // The engine's search takes the list as the dataset does.
  TempDir dir;
  const std::string path = dir.File("T.DBF");
  {
    DBFBuild build(path);
    build.AddField("CODIGO", 'C', 4, 0);
    build.AddField("QTD", 'N', 4, 0);
    build.Build();
  }
  dBHandler t(path, "", true, false);
  for (int i = 1; i <= 3; ++i) {
    t.Blank();
    t.StringPut(1, "C" + std::to_string(i));
    t.NumberPut(2, i * 10);
    t.Append();
  }
  EXPECT_TRUE(t.Locate(" CODIGO", {"C2"}, false, false));
  EXPECT_EQ(t.record_number(), 2);
  EXPECT_TRUE(t.Locate("CODIGO ;\tQTD ", {"C3", "30"}, false, false));
  EXPECT_EQ(t.record_number(), 3);
  EXPECT_FALSE(t.Locate(" CODIGO ; QTD", {"C3", "20"}, false, false));
}

}  // namespace
}  // namespace dbase
