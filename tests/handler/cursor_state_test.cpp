// Operations that move through a table for the caller (filter scans, Locate, enciphering,
// sorted copies) leave the current record, read-ahead and the filter as they found them, also
// when they fail part-way.
#include <gtest/gtest.h>

#include "handler/db_handler.h"
#include "dbf/errors.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RawField;
using testsupport::TempDir;

// CODIGO holds "1", "2", "0", "4", then "5", "6"...: a filter dividing by it fails on record 3.
std::string MakeTable(const TempDir& dir, int count) {
  std::vector<std::string> records;
  for (int n = 1; n <= count; ++n) {
    std::string code = std::to_string(n == 3 ? 0 : n);
    records.push_back(" " + code + std::string(6 - code.size(), ' '));
  }
  const std::string path = dir.File("CUR.DBF");
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, {{"CODIGO", 'C', 6}}, records));
  return path;
}

struct Cursor {
  int32_t record;
  std::string buffer;
  bool eof, bof, read_ahead, filter_active;
  bool operator==(const Cursor&) const = default;
};

Cursor CursorOf(const dBHandler& t) {
  return {t.record_number(), std::string(reinterpret_cast<const char*>(t.record()), static_cast<size_t>(t.record_length())),
          t.eof(), t.bof(), t.read_ahead(), t.filter_active()};
}

std::vector<int32_t> Visible(dBHandler& t) {
  std::vector<int32_t> seen;
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) seen.push_back(t.record_number());
  return seen;
}

TEST(CursorStateTest, AFilterFailingPartWayKeepsTheFilterAndCursorItHad) {
  TempDir dir;
  const std::string path = MakeTable(dir, 6);
  dBHandler t(path, "", true, true);
  dBHandler other(path, "", true, true);
  t.SetFilterActive(true);
  t.SetFilter("VAL(CODIGO) >= 4", false, false);
  t.GetRecord(4);
  const Cursor before = CursorOf(t);
  try {
    t.SetFilter("10 / VAL(CODIGO) > 1", false, false);
    FAIL();
  } catch (const ExpressionError& e) {
    EXPECT_STREQ(e.what(), "Division by zero");
  }
  EXPECT_EQ(CursorOf(t), before);
  EXPECT_EQ(t.filter_text(), "VAL(CODIGO) >= 4");
  // Another handle changes record 5: read-ahead is off again, so the change is seen.
  other.GetRecord(5);
  other.StringPut(1, "1");
  other.PutRecord(5);
  t.RebuildFilter();
  EXPECT_EQ(Visible(t), (std::vector<int32_t>{4, 6}));

  // The same after a filter whose result is no logical.
  t.GetRecord(6);
  const Cursor on_six = CursorOf(t);
  EXPECT_THROW(t.SetFilter("CODIGO", false, false), EngineError);
  EXPECT_EQ(CursorOf(t), on_six);
  EXPECT_EQ(Visible(t), (std::vector<int32_t>{4, 6}));
}

TEST(CursorStateTest, LocateGoesBackWhenItFindsNothingOrFails) {
  TempDir dir;
  dBHandler t(MakeTable(dir, 6), "", true, false);
  t.GetRecord(2);
  const Cursor before = CursorOf(t);
  EXPECT_FALSE(t.Locate("CODIGO", {"9"}, false, false));
  EXPECT_EQ(CursorOf(t), before);
  EXPECT_THROW(t.Locate("NOFIELD", {"9"}, false, false), EngineError);
  EXPECT_EQ(CursorOf(t), before);
  EXPECT_TRUE(t.Locate("CODIGO", {"5"}, false, false));
  EXPECT_EQ(t.record_number(), 5);
  EXPECT_FALSE(t.read_ahead());
}

TEST(CursorStateTest, FailedSortsAndEncipheringLeaveTheCursor) {
  TempDir dir;
  dBHandler t(MakeTable(dir, 6), "", true, false);
  t.SetFilterActive(true);
  t.SetFilter("VAL(CODIGO) # 2", false, false);
  t.GetRecord(4);
  const Cursor before = CursorOf(t);
  EXPECT_THROW(t.SortFile(dir.File("S.DBF"), "", 2, "STR(10 / VAL(CODIGO))"), ExpressionError);
  EXPECT_EQ(CursorOf(t), before);
  t.SortFile(dir.File("S.DBF"), "", 3, "CODIGO");
  EXPECT_EQ(CursorOf(t), before);
  t.SetPassword("x");
  EXPECT_EQ(CursorOf(t), before);
  EXPECT_EQ(Visible(t), (std::vector<int32_t>{1, 3, 4, 5, 6}));
}

}  // namespace
}  // namespace dbase
