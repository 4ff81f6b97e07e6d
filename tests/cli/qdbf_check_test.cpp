// qdbf check and repair: one kind of damage per case, planted in a fresh table of each dialect with
// memos and an index; check must name it (exit 1, text and JSON), repair must make the repairable
// ones pass check while keeping every record that was readable, and leave the others (and every
// file) as they were. Tables written by other dBase programs must check sound.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "dbf/dbase_fld.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "dbf/table_check.h"
#include "dbf/table_cipher.h"
#include "index/index_fixtures.h"
#include "support/memo_tables.h"
#include "support/run_program.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::RunQdbf;
using testsupport::WriteFileBytes;

// Field layout of the test table: flag, CODIGO C 8 at 1, QTD N 8.2 at 9, DATA D at 17, ATIVO L at
// 25, OBS M 10 at 26; 36 bytes a record.
constexpr size_t kCodigo = 1, kQtd = 9, kData = 17, kAtivo = 25, kObs = 26, kRecordLength = 36;
constexpr int kRecords = 9;

std::string Memo(int i) {
  if (i % 4 == 0) return "";
  if (i == 5) return std::string(1300, 'x') + " long memo";  // several blocks in every dialect
  return "memo of record " + std::to_string(i);
}

// The bytes of the planted table and its memo file, with the helpers a damage needs.
struct Files {
  int dialect = 1;
  std::string table;
  std::string memo;
  std::string index;  // the index file (production for dialects 2 and 3)
  std::string t;      // table bytes
  std::string m;      // memo bytes

  size_t header_length() const { return static_cast<uint8_t>(t[8]) | static_cast<uint8_t>(t[9]) << 8; }
  size_t Record(int n) const { return header_length() + static_cast<size_t>(n - 1) * kRecordLength; }
  size_t block_size() const {
    if (dialect == 2) return static_cast<uint8_t>(m[20]) | static_cast<uint8_t>(m[21]) << 8;
    if (dialect == 3) return static_cast<uint8_t>(m[6]) << 8 | static_cast<uint8_t>(m[7]);
    return 512;
  }
  int64_t MemoBlock(int n) const { return std::stoll(t.substr(Record(n) + kObs, 10)); }
  void Put(size_t at, const std::string& bytes) { t.replace(at, bytes.size(), bytes); }
};

// What a reader gets from the table: per record the flag, the raw non-memo fields and the memo
// text ("<unreadable>" when it cannot be read).
std::vector<std::string> ReadableView(const std::string& table, const std::string& password = "") {
  std::vector<std::string> rows;
  try {
    dBaseFld t(table, password, false, true);
    for (int32_t n = 1; n <= t.record_count(); ++n) {
      t.GetRecord(n);
      std::string row = t.deleted() ? "*" : " ";
      for (int f = 1; f <= t.field_count(); ++f) {
        if (t.FieldType(f) != 'M') {
          row += "|" + t.FieldGet(f);
          continue;
        }
        try {
          row += "|" + t.MemoRead(f);
        } catch (const EngineError&) {
          row += "|<unreadable>";
        }
      }
      rows.push_back(row);
    }
  } catch (const EngineError&) {
  }
  return rows;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

struct Damage {
  const char* name;
  const char* kind;  // the finding check must report
  bool repairable;   // repair makes check pass
  std::function<void(Files&)> plant;
  int dialects = 7;  // bit 0: dBase III, bit 1: dBase IV, bit 2: FoxPro
};

void PutLE32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}

void PutBE32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * (3 - i)));
}

std::string Ref(int64_t block) {
  std::string s = std::to_string(block);
  return std::string(10 - s.size(), ' ') + s;
}

const std::vector<Damage>& Damages() {
  static const std::vector<Damage> damages = {
      {"header count too high", "record-count", true, [](Files& f) { PutLE32(f.t, 4, 12); }},
      {"partial record at the end", "partial-record", true,
       [](Files& f) { f.t = f.t.substr(0, f.t.size() - 1) + "  ABC"; }},
      {"end mark missing", "end-mark", true, [](Files& f) { f.t.pop_back(); }},
      {"bad deletion flag", "deletion-flag", false, [](Files& f) { f.Put(f.Record(2), "X"); }},
      {"letters in a number", "field-value", false, [](Files& f) { f.Put(f.Record(3) + kQtd, "  12a.00"); }},
      {"impossible date", "field-value", false, [](Files& f) { f.Put(f.Record(3) + kData, "20241340"); }},
      {"bad logical", "field-value", false, [](Files& f) { f.Put(f.Record(6) + kAtivo, "X"); }},
      {"unknown field type", "descriptor", false, [](Files& f) { f.t[32 + 32 * 3 + 11] = 'Z'; }},
      {"record length off", "record-length", false, [](Files& f) { f.t[10] = static_cast<char>(kRecordLength + 1); }},
      {"unknown version", "version", false, [](Files& f) { f.t[0] = static_cast<char>(0x99); }},
      {"terminator missing", "terminator", false, [](Files& f) { f.t[f.header_length() - 1] = ' '; }},
      {"memo past the end", "memo-reference", true, [](Files& f) { f.Put(f.Record(2) + kObs, Ref(99999)); }},
      {"memo reference not a number", "memo-reference", true,
       [](Files& f) { f.Put(f.Record(2) + kObs, "     12x  "); }},
      {"memo in the header block", "memo-reference", true, [](Files& f) { f.Put(f.Record(2) + kObs, Ref(3)); }, 4},
      {"memo block header damaged", "memo-block", true,
       [](Files& f) {
         const size_t at = static_cast<size_t>(f.MemoBlock(3)) * f.block_size();
         if (f.dialect == 3) {
           PutBE32(f.m, at, 7);  // unknown block type
         } else if (f.dialect == 2) {
           f.m[at] = 0;  // no FF FF
         } else {
           // dBase III: no end mark from the last memo (record 9's) to the end of the file.
           const size_t last = static_cast<size_t>(f.MemoBlock(9)) * f.block_size();
           f.m = f.m.substr(0, last) + std::string(f.m.size() - last, 'z');
         }
       }},
      {"memo length past the file", "memo-block", true,
       [](Files& f) {
         const size_t at = static_cast<size_t>(f.MemoBlock(7)) * f.block_size();
         if (f.dialect == 3) {
           PutBE32(f.m, at + 4, 1u << 20);
         } else {
           PutLE32(f.m, at + 4, 1u << 20);
         }
       },
       6},
      {"two records share a memo", "memo-shared", true,
       [](Files& f) { f.Put(f.Record(6) + kObs, f.t.substr(f.Record(2) + kObs, 10)); }},
      {"next free block inside the memos", "memo-file", true,
       [](Files& f) {
         if (f.dialect == 3) {
           PutBE32(f.m, 0, 8);
         } else {
           PutLE32(f.m, 0, 1);
         }
       },
       5},
      {"free run over a memo", "memo-free-list", true,
       [](Files& f) {
         const auto block = static_cast<size_t>(f.MemoBlock(2));
         PutLE32(f.m, 0, static_cast<uint32_t>(block));
       },
       2},
      {"memo file missing", "memo-file", false, [](Files& f) { f.m.clear(); }},
      {"memo block size zero", "memo-file", false,
       [](Files& f) {
         if (f.dialect == 3) {
           f.m[6] = f.m[7] = 0;
         } else {
           PutLE32(f.m, 20, 0);
         }
       },
       6},
      {"index out of step with the table", "index", true, [](Files& f) { f.Put(f.Record(1) + kCodigo, "ZZZZZZZZ"); }},
      // The mark a key update that failed part-way leaves in unused header room (CDX directory
      // header bytes 488-491; NDX and MDX bytes 508-511).
      {"index left marked by a failed write", "index", true,
       [](Files& f) {
         std::string bytes = ReadFileBytes(f.index);
         bytes.replace(f.dialect == 3 ? 488 : 508, 4, "QRB!");
         WriteFileBytes(f.index, bytes);
       }},
  };
  return damages;
}

class QdbfCheckTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
  }

  // A fresh table of the dialect with memos and an index, in its own folder.
  Files Make(const std::string& folder) {
    fs::create_directories(folder);
    Files f;
    f.dialect = GetParam();
    f.table = folder + "/ITENS.DBF";
    {
      std::unique_ptr<DBFBuild> b;
      if (f.dialect == 2) {
        b = std::make_unique<DB4Build>(f.table);
      } else if (f.dialect == 3) {
        b = std::make_unique<DBFoxBuild>(f.table);
      } else {
        b = std::make_unique<DBFBuild>(f.table);
      }
      b->AddField("CODIGO", 'C', 8, 0);
      b->AddField("QTD", 'N', 8, 2);
      b->AddField("DATA", 'D', 8, 0);
      b->AddField("ATIVO", 'L', 1, 0);
      b->AddField("OBS", 'M', 10, 0);
      b->Build();
    }
    {
      dBaseFld t(f.table, "", true, false);
      for (int i = 1; i <= kRecords; ++i) {
        t.Blank();
        t.StringPutByName("CODIGO", "C" + std::to_string(i));
        t.NumberPutByName("QTD", i * 1.25 - 3);
        t.StringPutByName("DATA", i % 3 == 0 ? "" : "202402" + std::to_string(10 + i));
        t.StringPutByName("ATIVO", i % 2 ? "T" : "F");
        t.StringPutByName("OBS", Memo(i));
        t.Append();
        if (i == 4) t.Delete();
      }
    }
    f.memo = folder + (f.dialect == 3 ? "/ITENS.FPT" : "/ITENS.DBT");
    f.index = folder + (f.dialect == 1 ? "/ITENS.NDX" : f.dialect == 2 ? "/ITENS.MDX" : "/ITENS.CDX");
    const auto made = RunQdbf("index create " + Quoted(f.table) + " " + Quoted(f.index) + " --key CODIGO --tag CODIGO");
    EXPECT_EQ(made.status, 0) << made.output;
    f.t = ReadFileBytes(f.table);
    f.m = ReadFileBytes(f.memo);
    return f;
  }

  // The --index option for the dialect (dBase IV and FoxPro tables find their production index).
  std::string IndexOption(const Files& f) const { return f.dialect == 1 ? " --index " + Quoted(f.index) : ""; }

  testsupport::TempDir dir_;
};

TEST_P(QdbfCheckTest, FreshTableIsSound) {
  Files f = Make(dir_.File("fresh"));
  const auto check = RunQdbf("check " + Quoted(f.table) + IndexOption(f));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(check.output, "ok\n");
  const auto repair = RunQdbf("repair " + Quoted(f.table) + IndexOption(f));
  EXPECT_EQ(repair.status, 0) << repair.output;
  EXPECT_EQ(ReadFileBytes(f.table), f.t);
  EXPECT_FALSE(fs::exists((fs::path(f.table).parent_path() / "ITENS.BAK").string()));
}

TEST_P(QdbfCheckTest, EachDamageIsFoundAndTheRepairableOnesRepaired) {
  const int bit = 1 << (GetParam() - 1);
  int n = 0;
  for (const Damage& damage : Damages()) {
    if ((damage.dialects & bit) == 0) continue;
    SCOPED_TRACE(damage.name);
    Files f = Make(dir_.File("case" + std::to_string(++n)));
    damage.plant(f);
    WriteFileBytes(f.table, f.t);
    if (f.m.empty()) {
      fs::remove(f.memo);
    } else {
      WriteFileBytes(f.memo, f.m);
    }
    const std::string index_bytes = ReadFileBytes(f.index);
    const std::vector<std::string> before = ReadableView(f.table);
    const std::string args = Quoted(f.table) + IndexOption(f);

    const auto check = RunQdbf("check " + args);
    EXPECT_EQ(check.status, 1) << check.output;
    EXPECT_NE(check.output.find(std::string("[") + damage.kind), std::string::npos) << check.output;
    const auto json_run = RunQdbf("check --json " + args);
    EXPECT_EQ(json_run.status, 1);
    const nlohmann::json json = nlohmann::json::parse(json_run.output, nullptr, false);
    ASSERT_TRUE(json.is_object()) << json_run.output;
    EXPECT_FALSE(json["sound"].get<bool>());
    bool listed = false;
    for (const auto& finding : json["findings"]) {
      if (finding["kind"] == damage.kind) listed = finding["repairable"].get<bool>() == damage.repairable;
    }
    EXPECT_TRUE(listed) << json_run.output;

    const auto repair = RunQdbf("repair " + args);
    if (!damage.repairable) {
      EXPECT_EQ(repair.status, 1) << repair.output;
      // Nothing else was damaged, so there was nothing to mend: every file as it was, no backup.
      EXPECT_EQ(ReadFileBytes(f.table), f.t);
      if (!f.m.empty()) {
        EXPECT_EQ(ReadFileBytes(f.memo), f.m);
      }
      EXPECT_EQ(ReadFileBytes(f.index), index_bytes);
      EXPECT_FALSE(fs::exists((fs::path(f.table).parent_path() / "ITENS.BAK").string()));
      continue;
    }
    EXPECT_EQ(repair.status, 0) << repair.output;
    const auto after = RunQdbf("check " + args);
    EXPECT_EQ(after.status, 0) << after.output;
    // Every record that was readable reads the same; a memo that was not is now empty.
    std::vector<std::string> expected = before;
    for (std::string& row : expected) {
      const size_t at = row.find("|<unreadable>");
      if (at != std::string::npos) row.replace(at, 13, "|");
    }
    EXPECT_EQ(ReadableView(f.table), expected);
    if (std::string(damage.kind) != "index") {
      EXPECT_EQ(ReadFileBytes((fs::path(f.table).parent_path() / "ITENS.BAK").string()), f.t);
      EXPECT_EQ(ReadFileBytes((fs::path(f.table).parent_path() / "ITENS.TBK").string()), f.m);
    }
  }
}

TEST_P(QdbfCheckTest, UnreadableTablesAreUsageErrors) {
  Files f = Make(dir_.File("t"));
  EXPECT_EQ(RunQdbf("check " + Quoted(dir_.File("none.dbf"))).status, 2);
  EXPECT_EQ(RunQdbf("repair " + Quoted(dir_.File("none.dbf"))).status, 2);
  const auto with_password = RunQdbf("check " + Quoted(f.table) + " --password x");
  EXPECT_EQ(with_password.status, 2) << with_password.output;
  EXPECT_NE(with_password.output.find("A Password is included"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Dialects, QdbfCheckTest, ::testing::Values(1, 2, 3));

// Records are enciphered: the check reads them with the password, and the repair writes them back
// enciphered with it.
TEST(QdbfCheckOtherLayoutsTest, EncipheredTableIsCheckedAndRepairedWithItsPassword) {
  if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
  testsupport::TempDir dir;
  const std::string table = dir.File("SEGREDO.DBF");
  testsupport::MakeMemoTable(table, 1, 6, "S", [](int i) { return "segredo " + std::to_string(i); });
  ASSERT_EQ(RunQdbf("encrypt " + Quoted(table) + " --password pw").status, 0);
  std::string bytes = ReadFileBytes(table);
  PutLE32(bytes, 4, 9);
  const size_t header_length = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
  const size_t record_length = 1 + 8 + 6 + 10;
  char* second = &bytes[header_length + record_length];
  CipherInPlace("pw", second, record_length);
  std::memcpy(second + 15, "     99999", 10);  // OBS of record 2
  CipherInPlace("pw", second, record_length);
  WriteFileBytes(table, bytes);
  std::vector<std::string> expected = ReadableView(table, "pw");
  ASSERT_EQ(expected.size(), 6u);
  EXPECT_NE(expected[1].find("<unreadable>"), std::string::npos);
  expected[1].replace(expected[1].find("<unreadable>"), 12, "");

  EXPECT_EQ(RunQdbf("check " + Quoted(table)).status, 2);
  const auto check = RunQdbf("check " + Quoted(table) + " --password pw");
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.output.find("[record-count"), std::string::npos) << check.output;
  EXPECT_NE(check.output.find("record 2, field OBS, block 99999"), std::string::npos) << check.output;
  const auto repair = RunQdbf("repair " + Quoted(table) + " --password pw");
  EXPECT_EQ(repair.status, 0) << repair.output;
  EXPECT_EQ(RunQdbf("check " + Quoted(table) + " --password pw").status, 0);
  EXPECT_EQ(ReadableView(table, "pw"), expected);
  EXPECT_EQ(ReadFileBytes(table).find("S1      "), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir.File("SEGREDO.DBT")).find("segredo"), std::string::npos);
}

// A version 0x30 table: binary memo references, integers and date-times, read as such.
TEST(QdbfCheckOtherLayoutsTest, VisualFoxProFieldsAreCheckedAsBinary) {
  if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
  testsupport::TempDir dir;
  const std::string table = dir.File("VFP.DBF");
  auto le = [](uint32_t v) {
    std::string s(4, '\0');
    PutLE32(s, 0, v);
    return s;
  };
  const std::vector<testsupport::RawField> fields = {
      {"NOME", 'C', 8}, {"NUM", 'I', 4}, {"QUANDO", 'T', 8}, {"OBS", 'M', 4}};
  std::string first = " PRIMEIRO" + le(5) + le(2460000) + le(1000) + le(8);
  std::string second = " SEGUNDO " + le(static_cast<uint32_t>(-1)) + std::string(8, '\0') + "    ";
  std::string t = testsupport::TableBytes(0x30, fields, {first, second}, 263);
  t[28] = 0x02;
  std::string memo(512 + 64, '\0');
  PutBE32(memo, 0, 9);
  memo[7] = 64;
  PutBE32(memo, 512, 1);
  PutBE32(memo, 516, 5);
  memo.replace(520, 5, "hello");
  WriteFileBytes(table, t);
  WriteFileBytes(dir.File("VFP.fpt"), memo);
  const auto sound = RunQdbf("check " + Quoted(table));
  EXPECT_EQ(sound.status, 0) << sound.output;
  const std::string first_view = ReadableView(table).at(0);
  EXPECT_EQ(first_view.substr(first_view.size() - 6), "|hello");

  const size_t second_at = t.size() - 1 - second.size();
  PutLE32(t, second_at + 1 + 8 + 4 + 4, 90000000);  // milliseconds past a day
  PutLE32(t, second_at + 1 + 8 + 4 + 8, static_cast<uint32_t>(-3));
  WriteFileBytes(table, t);
  const auto check = RunQdbf("check " + Quoted(table));
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.output.find("record 2, field QUANDO"), std::string::npos) << check.output;
  EXPECT_NE(check.output.find("memo block -3 is negative [memo-reference, repairable]"), std::string::npos)
      << check.output;
  const auto repair = RunQdbf("repair " + Quoted(table));
  EXPECT_EQ(repair.status, 1) << repair.output;
  EXPECT_NE(repair.output.find("cleared: "), std::string::npos) << repair.output;
  const auto after = RunQdbf("check --json " + Quoted(table));
  EXPECT_EQ(after.status, 1);
  const nlohmann::json json = nlohmann::json::parse(after.output, nullptr, false);
  ASSERT_TRUE(json.is_object()) << after.output;
  ASSERT_EQ(json["findings"].size(), 1u) << after.output;
  EXPECT_EQ(json["findings"][0]["kind"], "field-value");
  EXPECT_EQ(json["findings"][0]["field"], "QUANDO");
  EXPECT_EQ(ReadableView(table).at(0), first_view);
}

// Tables other dBase programs wrote: their files are sound, and so are their indexes but for the
// MDX whose writer put three keys out of order (a quirk the fixtures' notes describe).
TEST(QdbfCheckPeerTest, TablesOfOtherWritersCheckSound) {
  const std::string dir = testing_index::FixtureDir();
  if (dir.empty() || !fs::exists(dir)) GTEST_SKIP() << "fixtures not found";
  for (const char* name :
       {"ntx-cdx/fxntx.dbf", "ntx-cdx/fxcdx.dbf", "ntx-cdx/fxbig.dbf", "ndx-mdx/dbndx.dbf", "ndx-mdx/dbmdx.dbf"}) {
    SCOPED_TRACE(name);
    const TableCheckResult result = CheckTableFiles(dir + "/" + name, "");
    EXPECT_TRUE(result.structure_sound);
    for (const TableFinding& f : result.findings) ADD_FAILURE() << FindingPlace(f) << ": " << f.message;
  }
  if (testsupport::QdbfPath() == nullptr) return;
  const auto ntx = RunQdbf("check " + Quoted(dir + "/ntx-cdx/fxntx.dbf") + " --index " +
                           Quoted(dir + "/ntx-cdx/fcode.ntx") + " --index " + Quoted(dir + "/ntx-cdx/ffor.ntx"));
  EXPECT_EQ(ntx.status, 0) << ntx.output;
  const auto cdx = RunQdbf("check --json " + Quoted(dir + "/ntx-cdx/fxcdx.dbf"));
  EXPECT_EQ(cdx.status, 0) << cdx.output;
  const auto mdx = RunQdbf("check " + Quoted(dir + "/ndx-mdx/dbmdx.dbf"));
  EXPECT_EQ(mdx.status, 1);
  EXPECT_NE(mdx.output.find("Tag AMOUNT"), std::string::npos) << mdx.output;
}

// Tables of other writers repaired: the records all stay as they read, the memo that led nowhere is
// cleared, and the NTX file or production CDX is rebuilt to check sound.
TEST(QdbfCheckPeerTest, TablesOfOtherWritersAreRepairedKeepingTheirRecords) {
  const std::string fixtures = testing_index::FixtureDir();
  if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
  if (fixtures.empty() || !fs::exists(fixtures)) GTEST_SKIP() << "fixtures not found";
  struct Peer {
    const char* table;
    std::vector<const char*> companions;
    const char* index_option;
  };
  const std::vector<Peer> peers = {{"fxntx.dbf", {"fxntx.dbt", "fcode.ntx"}, "fcode.ntx"},
                                   {"fxcdx.dbf", {"fxcdx.fpt", "fxcdx.cdx"}, nullptr}};
  for (const Peer& peer : peers) {
    SCOPED_TRACE(peer.table);
    testsupport::TempDir dir;
    for (const char* name : peer.companions) fs::copy_file(fixtures + "/ntx-cdx/" + name, dir.File(name));
    const std::string table = dir.File(peer.table);
    std::string bytes = ReadFileBytes(fixtures + "/ntx-cdx/" + peer.table);
    PutLE32(bytes, 4, 305);
    const size_t header_length = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
    const size_t note = header_length + 20 * 69 + 59;  // NOTE of record 21, a memo of one byte
    ASSERT_NE(bytes.substr(note, 10), std::string(10, ' '));
    bytes.replace(note, 10, "     99999");
    WriteFileBytes(table, bytes);
    std::vector<std::string> expected = ReadableView(table);
    ASSERT_EQ(expected.size(), 300u);
    ASSERT_NE(expected[20].find("|<unreadable>"), std::string::npos);
    expected[20].replace(expected[20].find("|<unreadable>"), 13, "|");

    const std::string args =
        Quoted(table) + (peer.index_option ? " --index " + Quoted(dir.File(peer.index_option)) : "");
    EXPECT_EQ(RunQdbf("check " + args).status, 1);
    const auto repair = RunQdbf("repair " + args);
    EXPECT_EQ(repair.status, 0) << repair.output;
    EXPECT_NE(repair.output.find("cleared: "), std::string::npos) << repair.output;
    const auto after = RunQdbf("check " + args);
    EXPECT_EQ(after.status, 0) << after.output;
    EXPECT_EQ(ReadableView(table), expected);
  }
}

}  // namespace
}  // namespace dbase
