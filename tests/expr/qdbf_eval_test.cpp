// qdbf eval: one line per record with number, type and value; a compile error gives the
// engine's message and exit status 1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dbf/dbase_fld.h"
#include "dbf/dbf_build.h"
#include "dbf/dbf_date.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RunQdbf;
using RunResult = testsupport::ProgramRun;

class QdbfEvalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("QDBF") == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
    path_ = dir_.File("ITENS.DBF");
    {
      DBFBuild build(path_);
      build.AddField("CODIGO", 'C', 6, 0);
      build.AddField("QTD", 'N', 4, 0);
      build.AddField("DATA", 'D', 8, 0);
      build.Build();
    }
    dBaseFld t(path_, "", true, false);
    const char* codes[] = {"ab", "cd"};
    for (int i = 0; i < 2; ++i) {
      t.Blank();
      t.FieldPut(1, codes[i]);
      t.NumberPut(2, 10 * (i + 1) + 1);
      t.DatePut(3, i == 0 ? DBFDate::PartsToJul(2024, 1, 31) : 0);
      t.Append();
    }
  }

  testsupport::TempDir dir_;
  std::string path_;
};

TEST_F(QdbfEvalTest, PrintsEveryRecordWithAll) {
  RunResult run = RunQdbf("eval '" + path_ + "' 'UPPER(CODIGO) + DTOS(DATA)' --all");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "1\tText\tAB    20240131\n2\tText\tCD            \n");
  run = RunQdbf("eval '" + path_ + "' 'QTD > 20 .AND. .NOT. DELETED()' --all");
  EXPECT_EQ(run.output, "1\tBoolean\t.F.\n2\tBoolean\t.T.\n");
  run = RunQdbf("eval '" + path_ + "' 'DATA' --all");
  EXPECT_EQ(run.output, "1\tDate\t20240131\n2\tDate\t\n");
}

TEST_F(QdbfEvalTest, FirstRecordOnlyByDefault) {
  RunResult run = RunQdbf("eval '" + path_ + "' 'QTD / 4'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "1\tNumber\t2.75\n");
}

TEST_F(QdbfEvalTest, CompileErrorsExitWithTheMessage) {
  RunResult run = RunQdbf("eval '" + path_ + "' 'QTD +'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "Syntax Error in expression \"QTD +\"\n");
  run = RunQdbf("eval '" + path_ + "' 'NOPE(1)'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "There is no function for NOPE\n");
}

}  // namespace
}  // namespace dbase
