// Tables as other dBase programs write them: whether a table needs a memo file follows from its
// memo fields, and a version 0x30 table whose memo flag is clear still reads the .fpt beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "dbf/dbase_fld.h"
#include "dbf/errors.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

std::string LE32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
std::string BE32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// A FoxPro memo file (64-byte blocks) holding `text` as the memo of block 8.
std::string FptWith(const std::string& text) {
  std::string header(512, '\0');
  const uint32_t blocks = static_cast<uint32_t>((8 + text.size() + 63) / 64);
  header.replace(0, 4, BE32(8 + blocks));
  header[7] = 64;
  std::string memo = BE32(1) + BE32(static_cast<uint32_t>(text.size())) + text;
  memo.resize(blocks * 64, '\0');
  return header + memo;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(ForeignTablesTest, ATableWithoutMemoFieldsNeedsNoMemoFileWhateverItsVersionSays) {
  for (uint8_t version : {0x83, 0x8B, 0xF5, 0x30}) {
    SCOPED_TRACE(static_cast<int>(version));
    TempDir dir;
    const std::string path = dir.File("semmemo.dbf");
    std::string bytes = testsupport::TableBytes(version, {{"CODIGO", 'C', 5}, {"QTD", 'N', 4}},
                                                {" abc     7"}, version == 0x30 ? 263 : 0);
    bytes[28] = version == 0x30 ? 0x02 : 0;  // the memo flag too
    WriteFileBytes(path, bytes);
    {
      dBaseFld t(path, "", true, false);
      EXPECT_FALSE(t.has_memo());
      EXPECT_EQ(t.memo(), nullptr);
      t.GetRecord(1);
      EXPECT_EQ(t.StringGet(1), "abc");
      t.Blank();
      t.StringPut(1, "novo");
      t.Append();
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no memo file made
    EXPECT_EQ(static_cast<uint8_t>(ReadFileBytes(path)[28]), version == 0x30 ? 0x02 : 0);
  }
  // A memo field with its memo file missing is still an error, when the memo is used.
  TempDir dir;
  const std::string path = dir.File("T.DBF");
  WriteFileBytes(path, testsupport::TableBytes(0x8B, {{"OBS", 'M', 10}}, {"          1"}));
  dBaseFld t(path, "", false, false);
  EXPECT_TRUE(t.has_memo());
  t.GetRecord(1);
  EXPECT_EQ(ErrorOf([&] { t.StringGet(1); }), "File " + dir.File("T.DBT") + " could not be found");
}

TEST(ForeignTablesTest, AVisualFoxProTableReadsItsFptWhateverItsMemoFlagSays) {
  struct Case {
    uint8_t flags;
    const char* fpt;  // name of the memo file beside "vfp.dbf"; nullptr = none
    bool has_memo;
  };
  const Case cases[] = {{0x02, "vfp.fpt", true},  {0x00, "vfp.fpt", true}, {0x00, "VFP.FPT", true},
                        {0x04, "vfp.FPT", true},  {0x00, nullptr, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fpt ? c.fpt : "no .fpt") + " flags " + std::to_string(c.flags));
    TempDir dir;
    const std::string path = dir.File("vfp.dbf");
    std::string bytes = testsupport::TableBytes(0x30, {{"CODIGO", 'C', 3}, {"OBS", 'M', 4}},
                                                {" abc" + LE32(c.fpt ? 8 : 0)}, 263);
    bytes[28] = static_cast<char>(c.flags);
    WriteFileBytes(path, bytes);
    if (c.fpt) WriteFileBytes(dir.File(c.fpt), FptWith("texto do memo"));
    {
      dBaseFld t(path, "", true, false);
      EXPECT_EQ(t.has_memo(), c.has_memo);
      t.GetRecord(1);
      EXPECT_EQ(t.StringGet(2), c.has_memo ? "texto do memo" : "");
      if (c.has_memo) {
        t.StringPut(2, "outro");
        t.PutRecord(1);
        t.GetRecord(kReread);
        EXPECT_EQ(t.StringGet(2), "outro");
      } else {
        // Nowhere to keep a memo: refused, not lost.
        EXPECT_EQ(ErrorOf([&] { t.StringPut(2, "perdido?"); }), "File " + dir.File("vfp.fpt") + " could not be found");
      }
    }
    // The flags are written back as found.
    EXPECT_EQ(static_cast<uint8_t>(ReadFileBytes(path)[28]), c.flags);
  }
}

}  // namespace
}  // namespace dbase
