// qdbf import: dump then import gives the table back in every dialect and format (random texts
// with quotes, commas, line breaks and accented letters, numbers, dates, logicals, memos,
// deleted records), and rows that do not convert are reported by line, skipped, or with --strict
// leave the table byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "dbf/dbase_fld.h"
#include "support/dialects.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RunQdbf;

const char* const kSpecs = "'C;C;12;0' 'N;N;9;2' 'D;D;8;0' 'L;L;1;0' 'M;M;10;0'";

class QdbfImportTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
  }
  std::string Quoted(const std::string& name) const { return "'" + dir_.File(name) + "' "; }
  std::string Type() const { return " --type " + std::to_string(GetParam()) + " "; }

  // A table of random records; texts without line breaks when `for_sdf`.
  void MakeSource(const std::string& name, bool for_sdf) {
    ASSERT_EQ(RunQdbf("create " + Quoted(name) + Type() + kSpecs).status, 0);
    std::mt19937 random(GetParam() * 7 + for_sdf);
    const std::vector<std::string> pieces = {"a", "Z", ",", "\"", " ", "\xe7\xe3o", "x;y", "'"};
    dBaseFld t(dir_.File(name), "", true, false);
    for (int i = 0; i < 60; ++i) {
      std::string text;
      for (int n = random() % 5; n > 0; --n) text += pieces[random() % pieces.size()];
      if (!for_sdf && random() % 4 == 0) text += "\nnext line";
      t.Blank();
      t.StringPutByName("C", text.substr(0, 12));
      if (random() % 5 != 0) t.NumberPutByName("N", static_cast<int>(random() % 2000000 - 1000000) / 100.0L);
      if (random() % 4 != 0) {
        const unsigned date = (1900 + random() % 200) * 10000 + (1 + random() % 12) * 100 + 1 + random() % 28;
        t.StringPutByName("D", std::to_string(date));
      }
      if (random() % 3 != 0) t.LogicPutByName("L", random() % 2 == 0);
      if (!for_sdf && random() % 2 == 0) t.StringPutByName("M", text + std::string(random() % 700, 'm'));
      t.Append();
      if (random() % 6 == 0) t.Delete();
    }
  }

  testsupport::TempDir dir_;
};

TEST_P(QdbfImportTest, DumpThenImportGivesTheTableBack) {
  for (const std::string format : {"csv", "json", "sdf"}) {
    const std::string source = "SRC" + format + ".DBF";
    const std::string copy = "DST" + format + ".DBF";
    MakeSource(source, format == "sdf");
    // SDF has no deleted column: its dump leaves deleted records out, and so does the copy.
    const std::string deleted = format == "sdf" ? "" : " --deleted";
    const testsupport::ProgramRun dumped =
        RunQdbf("dump " + Quoted(source) + "--format " + format + deleted);
    ASSERT_EQ(dumped.status, 0) << dumped.output;
    testsupport::WriteFileBytes(dir_.File("dump." + format), dumped.output);
    const std::string create = format == "sdf" ? "" : " --create " + std::string(kSpecs) + Type();
    if (format == "sdf") {
      ASSERT_EQ(RunQdbf("create " + Quoted(copy) + Type() + kSpecs).status, 0);
    }
    const testsupport::ProgramRun imported =
        RunQdbf("import " + Quoted(copy) + Quoted("dump." + format) + "--format " + format + create);
    ASSERT_EQ(imported.status, 0) << format << "\n" << imported.output;
    const testsupport::ProgramRun again =
        RunQdbf("dump " + Quoted(copy) + "--format " + format + deleted);
    EXPECT_EQ(again.output, dumped.output) << format;
  }
}

TEST_P(QdbfImportTest, RowsThatDoNotConvertAreReportedAndSkippedOrStopTheImport) {
  struct Case {
    std::string format;
    std::string input;
    std::vector<std::string> reported;  // "line N" texts expected on the error output
    int good_rows;
  };
  const std::vector<Case> cases = {
      {"csv", "C,N,D\nok,1,20240101\nbad,1x,\nok2,,20240230\nlast,2,\n", {"line 3", "line 4"}, 2},
      {"csv", "C,N\n\"open,1\n", {"line 2"}, 0},
      {"csv", "C,N\na,1,extra\nb,2\n", {"line 2"}, 1},
      {"json", "{\"C\":\"a\",\"N\":1}\n{\"C\":\"b\",\"N\":\n[1]\n{\"C\":\"c\",\"L\":[1]}\n{\"N\":123456789}\n",
       {"line 2", "line 3", "line 4", "line 5"}, 1},
      {"sdf", std::string("short\r\n") + "abc         " + "     1.00" + "20240101" + "T" + "\r\n",
       {"line 1"}, 1},
  };
  for (const Case& c : cases) {
    const std::string table = "T" + c.format + ".DBF";
    std::remove(dir_.File(table).c_str());
    std::remove(dir_.File(table.substr(0, table.size() - 3) + (GetParam() == 3 ? "FPT" : "DBT")).c_str());
    ASSERT_EQ(RunQdbf("create " + Quoted(table) + Type() + kSpecs).status, 0);
    testsupport::WriteFileBytes(dir_.File("in.txt"), c.input);
    const std::string before = testsupport::ReadFileBytes(dir_.File(table));

    const testsupport::ProgramRun strict =
        RunQdbf("import " + Quoted(table) + Quoted("in.txt") + "--format " + c.format + " --strict");
    EXPECT_EQ(strict.status, 1) << c.input;
    EXPECT_EQ(testsupport::ReadFileBytes(dir_.File(table)), before) << c.input;

    const testsupport::ProgramRun lenient =
        RunQdbf("import " + Quoted(table) + Quoted("in.txt") + "--format " + c.format);
    EXPECT_EQ(lenient.status, 1) << c.input;
    for (const std::string& line : c.reported) {
      EXPECT_NE(lenient.output.find(line + ":"), std::string::npos) << c.input << "\n" << lenient.output;
    }
    EXPECT_NE(lenient.output.find(std::to_string(c.good_rows) + " imported"), std::string::npos)
        << c.input << "\n" << lenient.output;
    dBaseFld t(dir_.File(table), "", false, true);
    EXPECT_EQ(t.record_count(), c.good_rows) << c.input;
  }
  // A column that names no field stops before reading any row.
  testsupport::WriteFileBytes(dir_.File("in.txt"), "C,NADA\na,1\n");
  const testsupport::ProgramRun unknown = RunQdbf("import " + Quoted("Tcsv.DBF") + Quoted("in.txt"));
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.output.find("Column NADA matches no field"), std::string::npos) << unknown.output;
}

INSTANTIATE_TEST_SUITE_P(Dialects, QdbfImportTest, ::testing::Values(1, 2, 3),
                         [](const auto& param_info) { return testsupport::DialectName(param_info.param); });

}  // namespace
}  // namespace dbase
