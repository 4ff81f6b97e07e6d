// SortFile: sorted copies by text, number and date keys, with memos, and the checks made
// before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "platform/os_file.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::TempDir;

struct Row {
  std::string code;
  double qtd;
  std::string date;
};

std::string MakeTable(const TempDir& dir, const std::vector<Row>& rows) {
  std::string path = dir.File("ITENS.DBF");
  {
    DB4Build b(path);
    b.AddField("CODIGO", 'C', 10, 0);
    b.AddField("QTD", 'N', 9, 2);
    b.AddField("DATA", 'D', 8, 0);
    b.AddField("OBS", 'M', 10, 0);
    b.Build();
  }
  dBHandler t(path, "", true, false);
  for (const Row& r : rows) {
    t.Blank();
    t.StringPut(1, r.code);
    t.NumberPut(2, r.qtd);
    t.StringPut(3, r.date);
    t.StringPut(4, "obs of " + r.code);
    t.Append();
  }
  return path;
}

std::vector<int> OrderOf(const std::string& path) {
  dBHandler t(path, "", false, false);
  std::vector<int> order;
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) {
    EXPECT_EQ(t.StringGet(4), "obs of " + t.StringGet(1));  // memo travels with its record
    order.push_back(std::stoi(t.StringGet(1).substr(1)));
  }
  return order;
}

TEST(SortFileTest, SortsByTextNumberAndDateKeysWithRecordOrderForTies) {
  TempDir dir;
  std::mt19937 rng(7);
  std::vector<Row> rows;
  for (int i = 0; i < 300; ++i) {
    char date[9];
    std::snprintf(date, sizeof date, "%04d%02d%02d", 1990 + static_cast<int>(rng() % 40),
                  1 + static_cast<int>(rng() % 12), 1 + static_cast<int>(rng() % 28));
    double qtd = (static_cast<int>(rng() % 20001) - 10000) / 100.0;
    rows.push_back({"R" + std::to_string(i), qtd, date});
  }
  std::string src = MakeTable(dir, rows);
  dBHandler t(src, "", false, false);

  auto expect_order = [&](const std::string& key, int sequence, auto less) {
    std::string out = dir.File("OUT" + std::to_string(sequence) + ".DBF");
    t.SortFile(out, "", sequence, key);
    std::vector<int> want(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) want[i] = static_cast<int>(i);
    std::stable_sort(want.begin(), want.end(), less);
    if (sequence != 2) std::reverse(want.begin(), want.end());  // descending: ties in reverse record order
    EXPECT_EQ(OrderOf(out), want) << key;
    std::remove(out.c_str());
    std::remove((out.substr(0, out.size() - 4) + ".DBT").c_str());
  };
  expect_order("QTD", 2, [&](int a, int b) { return rows[a].qtd < rows[b].qtd; });
  expect_order("QTD", 3, [&](int a, int b) { return rows[a].qtd < rows[b].qtd; });
  expect_order("DATA", 2, [&](int a, int b) { return rows[a].date < rows[b].date; });
  expect_order("CODIGO", 2, [&](int a, int b) { return rows[a].code < rows[b].code; });
  expect_order("DTOS(DATA) + CODIGO", 2, [&](int a, int b) {
    return rows[a].date + rows[a].code < rows[b].date + rows[b].code;
  });
}

TEST(SortFileTest, BadKeysFailBeforeAnythingIsWritten) {
  TempDir dir;
  std::string src = MakeTable(dir, {{"R1", 1, "20260101"}});
  dBHandler t(src, "", false, false);
  std::string out = dir.File("OUT.DBF");
  try {
    t.SortFile(out, "", 2, "   ");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Sort key length must be 1-240 bytes, is 0");
  }
  try {
    t.SortFile(out, "", 2, std::string(241, 'A'));
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Sort key length must be 1-240 bytes, is 241");
  }
  EXPECT_THROW(t.SortFile(out, "", 2, "NOSUCHFIELD + 1"), ExpressionError);
  EXPECT_FALSE(platform::FileExists(out));

  // A target held open elsewhere is refused, and left alone.
  testsupport::WriteFileBytes(out, "busy");
  DiskFile holder(out, true, false);
  holder.Open();
  try {
    t.SortFile(out, "", 2, "CODIGO");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()), "SortFile requires full access to file " + out);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(out), "busy");
}

}  // namespace
}  // namespace dbase
