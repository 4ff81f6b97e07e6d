// The table handler over hand-made files: record layout, positioning, typed field access,
// damaged headers and the lock ranges of the protocols.
#include <gtest/gtest.h>

#include "dbf/dbase_fld.h"
#include "dbf/errors.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RawField;
using testsupport::ReadFileBytes;
using testsupport::TableBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

const std::vector<RawField> kCountFields = {{"CODIGO", 'C', 20}, {"LOJA", 'C', 4}, {"ESTOQUE", 'N', 6}};

std::string Rec(const std::string& codigo, const std::string& loja, const std::string& estoque, char flag = ' ') {
  auto pad = [](std::string s, size_t n, bool right) {
    s.resize(std::min(s.size(), n));
    return right ? std::string(n - s.size(), ' ') + s : s + std::string(n - s.size(), ' ');
  };
  return std::string(1, flag) + pad(codigo, 20, false) + pad(loja, 4, false) + pad(estoque, 6, true);
}

template <class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "";
}

class TableTest : public ::testing::Test {
 protected:
  std::string Make(const std::vector<std::string>& records, const std::vector<RawField>& fields = kCountFields,
                   uint8_t version = 0x03) {
    std::string path = dir.File("CONTAGEM.DBF");
    WriteFileBytes(path, TableBytes(version, fields, records));
    return path;
  }
  TempDir dir;
};

TEST_F(TableTest, AppendWritesTheRecordMarkerAndHeader) {
  std::string path = Make({});
  {
    dBaseFld t(dir.File("contagem"), "", true, false);  // ".DBF" added, case resolved
    EXPECT_EQ(t.alias(), "CONTAGEM");
    EXPECT_EQ(t.record_count(), 0);
    t.Blank();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.record()), 31), " " + std::string(24, ' ') + "     0");
    ASSERT_TRUE(t.StringPutByName("CODIGO", "123"));
    ASSERT_TRUE(t.StringPutByName("loja", "01"));
    ASSERT_TRUE(t.NumberPutByName("ESTOQUE", 5));
    t.Append();
    EXPECT_EQ(t.record_number(), 1);
    EXPECT_FALSE(t.eof());
  }
  std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 161u);
  EXPECT_EQ(bytes.substr(129, 31), " 123" + std::string(17, ' ') + "01  " + "     5");
  EXPECT_EQ(bytes[160], '\x1A');
  EXPECT_EQ(bytes[4], 1);  // record count in the header
}

TEST_F(TableTest, RecordCountComesFromTheFileSize) {
  std::vector<std::string> recs;
  for (int i = 0; i < 10; ++i) recs.push_back(Rec(std::to_string(i), "01", "1"));
  std::string path = Make(recs);
  std::string bytes = ReadFileBytes(path);
  // 7 whole records, a partial 8th, no end marker; the header still says 10.
  WriteFileBytes(path, bytes.substr(0, 129 + 7 * 31 + 12));
  {
    dBaseFld t(path, "", false, false);
    EXPECT_EQ(t.record_count(), 7);
    t.GetRecord(kLast);
    EXPECT_EQ(t.FieldGetByName("CODIGO").substr(0, 1), "6");
  }

  WriteFileBytes(path, bytes.substr(0, 129) + "\x1A");
  dBaseFld empty(path, "", false, false);
  EXPECT_EQ(empty.record_count(), 0);
  empty.GetRecord(kFirst);
  EXPECT_TRUE(empty.eof() && empty.bof());
}

TEST_F(TableTest, PositioningAtBothEnds) {
  std::string path = Make({Rec("A", "1", "1"), Rec("B", "2", "2"), Rec("C", "3", "3")});
  dBaseFld t(path, "", false, false);
  EXPECT_EQ(t.record_number(), 0);
  t.GetRecord(kLast);
  t.GetRecord(kNext);
  EXPECT_TRUE(t.eof());
  EXPECT_EQ(t.record_number(), 3);
  EXPECT_EQ(t.FieldGet(1)[0], 'C');  // the buffer keeps the last record
  t.GetRecord(kFirst);
  t.GetRecord(kPrevious);
  EXPECT_TRUE(t.bof());
  EXPECT_EQ(t.FieldGet(1)[0], 'A');
  t.GetRecord(2);
  EXPECT_EQ(t.StringGet(1), "B");
  t.GetRecord(kReread);
  EXPECT_EQ(t.record_number(), 2);
  t.GetRecord(4);
  EXPECT_TRUE(t.eof());
  EXPECT_EQ(MessageOf([&] { t.GetRecord(5); }), "Record number 5 is not in table " + path);
  EXPECT_EQ(MessageOf([&] { t.GetRecord(-9); }), "Record number -9 is not in table " + path);
}

TEST_F(TableTest, NumbersAreFormattedAndCheckedAgainstTheField) {
  std::string path = Make({}, {{"ESTOQUE", 'N', 6}, {"PRECO", 'N', 6, 2}, {"TAXA", 'N', 4, 1}, {"F", 'F', 4}});
  dBaseFld t(path, "", true, false);
  t.Blank();
  EXPECT_EQ(MessageOf([&] { t.NumberPut(1, 1234567); }), "numeric value too big in field ESTOQUE - 1234567");
  t.NumberPut(2, 3.5);
  EXPECT_EQ(t.FieldGet(2), "  3.50");
  t.NumberPut(2, -1);
  EXPECT_EQ(t.FieldGet(2), " -1.00");
  EXPECT_EQ(MessageOf([&] { t.NumberPut(2, 1234.5); }), "numeric value too big in field PRECO - 1234.50");
  t.NumberPut(3, -0.5);
  EXPECT_EQ(t.FieldGet(3), "-0.5");
  EXPECT_EQ(MessageOf([&] { t.StringPut(1, "12a"); }), "Invalid Number value for field ESTOQUE");
  t.FieldPut(4, "12a");  // what another program may have left in an F field
  EXPECT_EQ(MessageOf([&] { t.NumberGet(4); }), "Invalid numeric value in field CONTAGEM->F (12a)");
  t.FieldPut(1, "      ");
  t.FieldPut(2, "      ");
  EXPECT_EQ(t.StringGet(1), "0");
  EXPECT_EQ(t.StringGet(2), "0.00");
  EXPECT_EQ(t.NumberGet(2), 0);
  t.FieldPut(1, "1234567890");  // raw puts keep the first characters
  EXPECT_EQ(t.FieldGet(1), "123456");
}

// Other dBase programs refuse a whole table whose F field holds text or a cut number, so text put
// into an F field is converted and checked exactly as for N.
TEST_F(TableTest, FFieldsTakeTextAsNumbersExactlyAsNFields) {
  std::string path = Make({}, {{"NL", 'N', 12, 3}, {"FL", 'F', 12, 3}});
  dBaseFld t(path, "", true, false);
  for (int field : {1, 2}) {
    const std::string name = field == 1 ? "NL" : "FL";
    t.Blank();
    t.StringPut(field, "-1.5");
    EXPECT_EQ(t.FieldGet(field), "      -1.500");
    EXPECT_EQ(MessageOf([&] { t.StringPut(field, "abc"); }), "Invalid Number value for field " + name);
    EXPECT_EQ(MessageOf([&] { t.StringPut(field, "1234567890123"); }),
              "numeric value too big in field " + name + " - 1234567890123.000");
    EXPECT_EQ(t.FieldGet(field), "      -1.500");  // a refused value changes nothing
    t.StringPut(field, "  7 ");
    EXPECT_EQ(t.NumberGet(field), 7);
    t.StringPut(field, "");
    EXPECT_EQ(t.FieldGet(field), "       0.000");
  }
}

TEST_F(TableTest, LogicalsDatesAndTypeChecks) {
  std::string path = Make({}, {{"CODIGO", 'C', 20}, {"ATIVO", 'L', 1}, {"DATA", 'D', 8}});
  dBaseFld t(path, "", true, false);
  t.Blank();
  EXPECT_EQ(MessageOf([&] { t.StringPut(2, "sim"); }), "Invalid Logical value for field ATIVO");
  for (const char* yes : {"yes", "2", "T", "j"}) {
    t.StringPut(2, yes);
    EXPECT_TRUE(t.LogicGet(2)) << yes;
  }
  for (const char* no : {"no", "0", "", "f"}) {
    t.StringPut(2, no);
    EXPECT_FALSE(t.LogicGet(2)) << no;
  }
  EXPECT_FALSE(t.DatePut(1, 2444240));  // not a D field: false, unchanged
  EXPECT_EQ(t.FieldGet(1), std::string(20, ' '));
  EXPECT_EQ(MessageOf([&] { t.LogicPut(1, true); }), "Invalid Logical value for field CODIGO");
  EXPECT_EQ(MessageOf([&] { t.LogicGetByName("CODIGO"); }), "Field CODIGO is the incorrect type");
  EXPECT_EQ(MessageOf([&] { t.FieldByName("PRECO"); }), "There is no field name " + path + "->PRECO");
  EXPECT_EQ(t.FieldNumber("data "), 3);
  EXPECT_EQ(t.FieldNumber("DATAXXXXXXXX"), 0);

  t.DatePut(3, 2444240);
  EXPECT_EQ(t.FieldGet(3), "19800101");
  EXPECT_EQ(t.DateGet(3), 2444240);
  EXPECT_EQ(MessageOf([&] { t.DatePut(3, -1); }), "Invalid Date value for field DATA");
  t.FieldPut(3, "2026ab01");
  EXPECT_EQ(MessageOf([&] { t.DateGet(3); }), "Invalid date in field CONTAGEM->DATA (2026ab01)");
  t.FieldPut(3, "");
  EXPECT_EQ(t.DateGet(3), 0);
  // Out-of-range field numbers give neutral values.
  EXPECT_EQ(t.FieldGet(0), "");
  EXPECT_EQ(t.NumberGet(9), 0);
  EXPECT_FALSE(t.FieldPut(9, "x"));
}

TEST_F(TableTest, ReplaceDeleteAndRecall) {
  std::string path = Make({Rec("A", "1", "1"), Rec("B", "2", "2")});
  {
    dBaseFld t(path, "", true, false);
    t.GetRecord(2);
    t.Delete();
    EXPECT_TRUE(t.deleted());
    t.GetRecord(1);
    t.StringPut(1, "Z");
    t.PutRecord(1);
    t.PutRecord(99);  // beyond the count: appended
    EXPECT_EQ(t.record_count(), 3);
  }
  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.substr(129, 2), " Z");
  EXPECT_EQ(bytes.substr(160, 2), "*B");
  EXPECT_EQ(bytes.substr(191, 2), " Z");
  EXPECT_EQ(bytes.size(), 129u + 3 * 31 + 1);
  dBaseFld t(path, "", true, false);
  t.GetRecord(2);
  t.Undelete();
  t.GetRecord(kReread);
  EXPECT_FALSE(t.deleted());
}

TEST_F(TableTest, LongCharacterFieldsUseTheDecimalsByte) {
  std::string path = Make({}, {{"TEXTO", 'C', 300}});
  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(static_cast<uint8_t>(bytes[32 + 16]), 0x2C);
  EXPECT_EQ(static_cast<uint8_t>(bytes[32 + 17]), 0x01);
  dBaseFld t(path, "", true, false);
  EXPECT_EQ(t.FieldLen(1), 300);
  EXPECT_EQ(t.record_length(), 301);
  t.Blank();
  t.StringPut(1, std::string(310, 'x'));
  EXPECT_EQ(t.FieldGet(1), std::string(300, 'x'));
}

TEST_F(TableTest, DamagedHeadersEndInTheEngineMessage) {
  std::string path = dir.File("BAD.DBF");
  std::string good = TableBytes(0x03, kCountFields, {Rec("A", "1", "1")});
  auto open_message = [&](const std::string& bytes) {
    WriteFileBytes(path, bytes);
    return MessageOf([&] { dBaseFld t(path, "", false, false); });
  };
  EXPECT_EQ(open_message(good.substr(0, 20)), "Error on Read of file " + path);
  std::string bad_version = good;
  bad_version[0] = 0x42;
  EXPECT_EQ(open_message(bad_version), "Table Header for " + path + " is invalid");
  std::string zero_length = good;
  zero_length[10] = zero_length[11] = 0;
  EXPECT_EQ(open_message(zero_length), "Table Header for " + path + " is invalid");
  std::string long_header = good;
  long_header[8] = static_cast<char>(0xFF);
  long_header[9] = 0x7F;  // descriptors beyond the file
  EXPECT_EQ(open_message(long_header), "Error on Read of file " + path);
  std::string short_record = good;
  short_record[10] = 10;  // fields need 31 bytes
  EXPECT_EQ(open_message(short_record), "Table Header for " + path + " is invalid");
  std::string tiny_header = good;
  tiny_header[8] = 5;
  tiny_header[9] = 0;
  EXPECT_EQ(open_message(tiny_header), "Table Header for " + path + " is invalid");
  EXPECT_EQ(open_message(good), "");
}

TEST_F(TableTest, AreaAfterTheTerminatorIsNotReadAsFields) {
  std::string path = dir.File("FOX.DBF");
  WriteFileBytes(path, TableBytes(0x03, kCountFields, {Rec("A", "1", "7")}, 263));
  dBaseFld t(path, "", false, false);
  EXPECT_EQ(t.field_count(), 3);
  t.GetRecord(1);
  EXPECT_EQ(t.NumberGet(3), 7);
}

TEST_F(TableTest, PasswordsAreCheckedOnOpen) {
  std::string path = Make({Rec("A", "1", "1")});
  EXPECT_EQ(MessageOf([&] { dBaseFld t(path, "secret", false, false); }),
            "A Password is included for unencrypted file " + path);
  std::string bytes = ReadFileBytes(path);
  bytes[15] = 1;
  WriteFileBytes(path, bytes);
  EXPECT_EQ(MessageOf([&] { dBaseFld t(path, "", false, false); }), "No Password for encrypted file " + path);
  // The descriptors are plain bytes here, so any password deciphers them into nonsense.
  EXPECT_EQ(MessageOf([&] { dBaseFld t(path, "secret", false, false); }),
            "Invalid Password for encrypted file " + path);
}

TEST_F(TableTest, RecordLocksFollowTheProtocol) {
  std::vector<std::string> recs;
  for (int i = 0; i < 5; ++i) recs.push_back(Rec("X", "1", "1"));
  std::string path = Make(recs);
  dBaseFld t(path, "", true, true);
  t.GetRecord(5);
  struct Case {
    int protocol;
    uint64_t offset;
  } cases[] = {{DB4Lock, 0xEFFFFFF9}, {ClipLock, 1000000005}, {Default, 0x400000FD}, {FoxLock, 0x400000FD}};
  for (const Case& c : cases) {
    t.SetLockProtocol(c.protocol);
    ASSERT_TRUE(t.LockRecord());
    EXPECT_EQ(t.lock_offset(), c.offset) << c.protocol;
    EXPECT_EQ(t.lock_length(), 1u);
    t.Unlock();
  }
  t.SetLockProtocol(Default);
  ASSERT_TRUE(t.LockAppend());
  EXPECT_EQ(t.lock_offset(), 0x7FFFFFFEu);
  t.Unlock();
  t.SetLockProtocol(DB4Lock);
  ASSERT_TRUE(t.LockTable());
  EXPECT_EQ(t.lock_offset(), 0x40000000u);
  EXPECT_EQ(t.lock_length(), 0xB0000000u);
  EXPECT_TRUE(t.table_locked());
  EXPECT_TRUE(t.LockRecord());  // inside a table lock every lock only counts
  t.Unlock();
  t.Unlock();
  EXPECT_FALSE(t.table_locked());
  t.SetLockProtocol(7);
  EXPECT_FALSE(t.LockRecord());
  EXPECT_EQ(t.lock_constants().append_offset, 0xEFFFFFFFu);  // kept from DB4Lock
}

TEST_F(TableTest, SharedHandlesSeeEachOthersAppends) {
  std::string path = Make({Rec("A", "1", "1")});
  dBaseFld a(path, "", true, true), b(path, "", true, true);
  a.Blank();
  a.StringPut(1, "B");
  a.Append();
  EXPECT_EQ(a.record_count(), 2);
  b.GetRecord(2);  // beyond b's known count: re-reads the header
  EXPECT_EQ(b.StringGet(1), "B");
  EXPECT_EQ(b.record_count(), 2);
  dBaseFld exclusive_try_path_owner(path, "", false, true);
  EXPECT_EQ(MessageOf([&] { dBaseFld e(path, "", true, false); }), "Access denied to file " + path);
}

// Other programs write N fields narrower than their decimals allow (N 3 2). Their values read
// as written, a value below 1 is stored without the "0" in front of the point, and a blank
// record is made even where 0 itself does not fit.
TEST_F(TableTest, NumberFieldsNarrowerThanTheirDecimals) {
  std::string path = Make({" .99   .5", "         ", " 1.5  -.5"}, {{"A", 'N', 3, 2}, {"B", 'N', 2, 2}, {"C", 'N', 3, 1}});
  dBaseFld t(path, "", true, false);
  t.GetRecord(1);
  EXPECT_EQ(t.NumberGet(1), 0.99L);
  EXPECT_EQ(t.StringGet(1), ".99");
  t.GetRecord(3);
  EXPECT_EQ(t.NumberGet(1), 1.5L);
  EXPECT_EQ(t.NumberGet(3), -0.5L);
  t.Blank();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.record()), 9), " .00  0.0");
  EXPECT_EQ(t.NumberGet(2), 0);
  t.NumberPut(1, 0.5);
  EXPECT_EQ(t.FieldGet(1), ".50");
  t.NumberPut(3, -0.5);
  EXPECT_EQ(t.FieldGet(3), "-.5");
  EXPECT_EQ(MessageOf([&] { t.StringPut(2, ".75"); }), "numeric value too big in field B - .75");
  EXPECT_EQ(MessageOf([&] { t.NumberPut(1, -0.5); }), "numeric value too big in field A - -.50");
  t.Append();
  EXPECT_EQ(t.record_count(), 4);
}

// A date that is no calendar date is refused as any other text that is not a date; only a
// blank or all-zero text stores the empty date.
TEST_F(TableTest, StoredDatesMustBeCalendarDates) {
  std::string path = Make({}, {{"DATA", 'D', 8}});
  dBaseFld t(path, "", true, false);
  t.Blank();
  for (const char* bad : {"20241399", "20240230", "hello", "99999999"}) {
    EXPECT_EQ(MessageOf([&] { t.StringPut(1, bad); }), "Invalid Date value for field DATA") << bad;
  }
  t.StringPut(1, "20240229");
  EXPECT_EQ(t.FieldGet(1), "20240229");
  for (const char* empty : {"", "00000000", "        "}) {
    t.StringPut(1, "20240229");
    t.StringPut(1, empty);
    EXPECT_EQ(t.FieldGet(1), "        ") << empty;
  }
}

}  // namespace
}  // namespace dbase
