// Tables of other writers whose layout no builder of the engine writes (record lengths that
// disagree with the fields, odd field lengths, nameless fields, Visual FoxPro tables, no fields
// at all): each is copied exactly or refused with the engine's message, never overrun.
#include <gtest/gtest.h>

#include <cstring>

#include "handler/db_handler.h"
#include "dbf/errors.h"
#include "dbf/memo_file.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RawField;
using testsupport::ReadFileBytes;
using testsupport::TableBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

std::string Le32(int32_t v) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &v, 4);
  return s;
}

std::string Le64Double(double v) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &v, 8);
  return s;
}

void SetRecordLength(std::string& bytes, int length) {
  bytes[10] = static_cast<char>(length & 0xFF);
  bytes[11] = static_cast<char>(length >> 8);
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "";
}

// The header says more bytes per record than the fields hold (and so hides the records another
// writer stored), or fewer: refused on open, before anything is read or written.
TEST(OddLayoutsTest, ARecordLengthOtherThanTheFieldsIsRefusedAndNothingIsWritten) {
  TempDir dir;
  const std::vector<RawField> fields = {{"A", 'C', 10}, {"B", 'N', 5}};
  const std::string rows[] = {" first     00001", " second    00002", " third     00003"};
  for (int length : {4000, 60000, 40, 12}) {
    SCOPED_TRACE(length);
    std::string bytes = TableBytes(0x03, fields, {rows[0], rows[1], rows[2]});
    SetRecordLength(bytes, length);
    const std::string path = dir.File("P.DBF");
    WriteFileBytes(path, bytes);
    const std::string refused = "Table Header for " + path + " is invalid";
    EXPECT_EQ(ErrorOf([&] { dBHandler t(path, "", true, false); }), refused);
    EXPECT_EQ(ErrorOf([&] { dBHandler t(path, "", false, true); }), refused);
    EXPECT_EQ(ReadFileBytes(path), bytes);
  }
}

// Field lengths the builders would normalise (D 10, L 3) and a field whose name starts with a
// zero byte: copies and sorted copies keep the layout and every record byte for byte.
TEST(OddLayoutsTest, LayoutsNoBuilderWritesAreCopiedExactly) {
  TempDir dir;
  const std::vector<RawField> fields = {{"WHEN", 'D', 10}, {"OK", 'L', 3}, {std::string("\0X", 2), 'C', 5}, {"n", 'N', 4}};
  const std::vector<std::string> rows = {" 20240101  T  abcde  12", "*20231231  F  fghij   3", " 19991231  ?  klmno   7"};
  const std::string path = dir.File("ODD.DBF");
  WriteFileBytes(path, TableBytes(0x04, fields, rows));
  dBHandler t(path, "", false, false);
  t.CopyFile(dir.File("COPY.DBF"), "");
  t.SortFile(dir.File("SORTED.DBF"), "", 2, "STR(n,4)");
  for (const char* name : {"COPY.DBF", "SORTED.DBF"}) {
    SCOPED_TRACE(name);
    dBHandler c(dir.File(name), "", false, false);
    EXPECT_EQ(c.version(), 0x04);
    ASSERT_EQ(c.record_length(), t.record_length());
    ASSERT_EQ(c.field_count(), 4);
    for (int f = 1; f <= 4; ++f) {
      EXPECT_EQ(c.FieldType(f), t.FieldType(f));
      EXPECT_EQ(c.FieldLen(f), t.FieldLen(f));
    }
    EXPECT_EQ(c.FieldName(4), "n");
    std::vector<std::string> stored;
    for (int32_t r = 1; r <= c.record_count(); ++r) {
      c.GetRecord(r);
      stored.emplace_back(reinterpret_cast<const char*>(c.record()), static_cast<size_t>(c.record_length()));
    }
    if (std::string(name) == "COPY.DBF") {
      EXPECT_EQ(stored, rows);
    } else {
      EXPECT_EQ(stored, (std::vector<std::string>{rows[1], rows[2], rows[0]}));
    }
  }
}

// A Visual FoxPro table keeps its version, its binary fields and its memo file in a copy.
TEST(OddLayoutsTest, AVisualFoxProCopyKeepsFormatBinaryFieldsAndMemos) {
  TempDir dir;
  const std::vector<RawField> fields = {{"NAME", 'C', 5}, {"QTY", 'I', 4}, {"VAL", 'B', 8, 2}, {"OBS", 'M', 4}};
  std::string bytes = TableBytes(0x30, fields,
                                 {" abcde" + Le32(-7) + Le64Double(2.5) + Le32(8),
                                  " fghij" + Le32(42) + Le64Double(-1.25) + Le32(0)},
                                 263);
  bytes[28] = 0x02;  // has a memo file
  WriteFileBytes(dir.File("V.DBF"), bytes);
  std::string memo(512, '\0');
  memo[3] = 9;   // next free block, big-endian
  memo[7] = 64;  // block size
  std::string block("\0\0\0\x01\0\0\0\x05hello", 13);
  block.resize(64, '\0');
  WriteFileBytes(dir.File("V.fpt"), memo + block);

  dBHandler t(dir.File("V.DBF"), "", false, false);
  t.CopyFile(dir.File("C.DBF"), "");
  std::string copy = ReadFileBytes(dir.File("C.DBF"));
  EXPECT_EQ(static_cast<uint8_t>(copy[0]), 0x30);
  EXPECT_EQ(copy.substr(32, t.header_length() - 32), bytes.substr(32, t.header_length() - 32));
  dBHandler c(dir.File("C.DBF"), "", false, false);
  ASSERT_NE(c.memo(), nullptr);
  EXPECT_EQ(c.memo()->file_name(), dir.File("C.FPT"));
  c.GetRecord(1);
  EXPECT_EQ(c.StringGet(1), "abcde");
  EXPECT_EQ(c.NumberGet(2), -7);
  EXPECT_EQ(c.NumberGet(3), 2.5);
  EXPECT_EQ(c.StringGet(4), "hello");
  c.GetRecord(2);
  EXPECT_EQ(c.NumberGet(2), 42);
  EXPECT_EQ(c.NumberGet(3), -1.25);
  EXPECT_EQ(c.StringGet(4), "");
}

// With no fields a record is its deletion flag alone; the end-of-file mark is none.
TEST(OddLayoutsTest, ATableWithoutFieldsCountsOnlyItsRecords) {
  TempDir dir;
  const std::string path = dir.File("NONE.DBF");
  WriteFileBytes(path, TableBytes(0x03, {}, {}));
  {
    dBHandler t(path, "", true, false);
    EXPECT_EQ(t.record_count(), 0);
    t.Blank();
    t.Append();
    t.Append();
    EXPECT_EQ(t.record_count(), 2);
  }
  dBHandler t(path, "", false, false);
  EXPECT_EQ(t.record_count(), 2);
  EXPECT_EQ(ReadFileBytes(path).substr(33), "  \x1A");
}

}  // namespace
}  // namespace dbase
