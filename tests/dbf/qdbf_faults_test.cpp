// qdbf with the tables and values an unlucky user hands it: number fields narrower than their
// decimals, dates that are no calendar dates, field names that are not ASCII, and number texts
// that are no JSON numbers. Exit statuses tell success from failure truthfully.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "support/run_program.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RawField;
using testsupport::RunQdbf;

class QdbfFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
  }
  std::string Quoted(const std::string& name) const { return "'" + dir_.File(name) + "'"; }
  testsupport::TempDir dir_;
};

TEST_F(QdbfFaultsTest, NumberFieldsNarrowerThanTheirDecimalsWorkAndSaySo) {
  const std::string z = Quoted("z.dbf");
  EXPECT_EQ(RunQdbf("create " + z + " 'A;N;3;2'").status, 0);
  EXPECT_EQ(RunQdbf("append " + z + " A=.5").status, 0);
  EXPECT_EQ(RunQdbf("append " + z).status, 0);
  auto run = RunQdbf("dump " + z);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "A\n.50\n.00\n");
  run = RunQdbf("eval " + z + " 'A * 2' --all");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "1\tNumber\t1\n2\tNumber\t0\n");
  EXPECT_EQ(RunQdbf("zap " + z).status, 0);
  EXPECT_EQ(RunQdbf("dump " + z).output, "A\n");
}

TEST_F(QdbfFaultsTest, ImpossibleDatesAndNonAsciiFieldNamesAreRefused) {
  const std::string t = Quoted("t.dbf");
  ASSERT_EQ(RunQdbf("create " + t + " 'DATA;D;8'").status, 0);
  auto run = RunQdbf("append " + t + " DATA=20241399");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "Invalid Date value for field DATA\n");
  EXPECT_EQ(RunQdbf("append " + t + " DATA=hello").status, 1);
  EXPECT_EQ(RunQdbf("dump " + t).output, "DATA\n");  // nothing was stored

  run = RunQdbf("create " + Quoted("u.dbf") + " 'ÇÃO;C;5'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "Invalid field list for table " + dir_.File("u.dbf") + "\n");
}

std::string Le64Double(double v) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &v, 8);
  return s;
}

// Every value of a JSON dump parses with a JSON parser: number texts that are numbers become
// numbers (".50" as 0.50), the others strings.
TEST_F(QdbfFaultsTest, JsonDumpsAreValidWhateverTheFieldsHold) {
  const std::vector<std::string> texts = {"******", "   1,5", "   .50", "   inf", "  -.5 ", "  +007",
                                          "   1e5", "  0001", "      ", "   1. ", "  -0  ", "   nan"};
  std::vector<std::string> records;
  for (const std::string& text : texts) records.push_back(" " + text + text + "a\"\\\x01\x81");
  testsupport::WriteFileBytes(dir_.File("j.dbf"),
                              testsupport::TableBytes(0x03, {{"N", 'N', 6, 2}, {"F", 'F', 6}, {"C", 'C', 5}}, records));
  const std::string check =
      " | python3 -c 'import json,sys\n"
      "for line in sys.stdin: print(json.dumps(json.loads(line), sort_keys=True))'";
  auto run = RunQdbf("dump " + Quoted("j.dbf") + " --format json" + check);
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string c = "\"C\": \"a\\\"\\\\\\u0001\\u0081\"";
  const char* numbers[][2] = {{"\"******\"", "\"******\""}, {"\"1,5\"", "\"1,5\""}, {"0.5", "0.5"},
                              {"\"inf\"", "\"inf\""},       {"-0.5", "-0.5"},      {"7", "7"},
                              {"100000.0", "100000.0"},     {"1", "1"},            {"0.0", "0"},
                              {"1", "1"},                   {"0", "0"},            {"\"nan\"", "\"nan\""}};
  std::string expected;
  for (size_t i = 0; i < texts.size(); ++i) {
    expected += "{" + c + ", \"F\": " + numbers[i][1] + ", \"N\": " + numbers[i][0] +
                ", \"_recno\": " + std::to_string(i + 1) + "}\n";
  }
  EXPECT_EQ(run.output, expected);

  // Binary doubles of a Visual FoxPro table that are no numbers.
  testsupport::WriteFileBytes(
      dir_.File("v.dbf"),
      testsupport::TableBytes(0x30, {{"B", 'B', 8}},
                              {" " + Le64Double(std::numeric_limits<double>::infinity()),
                               " " + Le64Double(std::numeric_limits<double>::quiet_NaN()), " " + Le64Double(2.5)}, 263));
  run = RunQdbf("dump " + Quoted("v.dbf") + " --format json" + check);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "{\"B\": \"inf\", \"_recno\": 1}\n{\"B\": \"nan\", \"_recno\": 2}\n{\"B\": 2.5, \"_recno\": 3}\n");
}

}  // namespace
}  // namespace dbase
