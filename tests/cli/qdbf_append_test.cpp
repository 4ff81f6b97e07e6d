// qdbf append: each value stored as its field's type wants, an empty value as the blank field
// other dBase programs tell from 0 and false, and refused values with the engine's message.
#include <gtest/gtest.h>

#include <string>

#include "dbf/dbase_fld.h"
#include "dbf/dbf_build.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RunQdbf;

class QdbfAppendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
    path_ = dir_.File("itens.dbf");
    DBFBuild build(path_);
    build.AddField("CODIGO", 'C', 6, 0);
    build.AddField("QTD", 'N', 6, 0);
    build.AddField("PRECO", 'F', 8, 2);
    build.AddField("DATA", 'D', 8, 0);
    build.AddField("ATIVO", 'L', 1, 0);
    build.Build();
  }
  // The stored record after the deletion flag, fields joined by "|".
  std::string Stored(int32_t record) {
    dBaseFld t(path_, "", false, true);
    t.GetRecord(record);
    std::string row;
    for (int f = 1; f <= t.field_count(); ++f) row += (f > 1 ? "|" : "") + t.FieldGet(f);
    return row;
  }

  testsupport::TempDir dir_;
  std::string path_;
};

TEST_F(QdbfAppendTest, EmptyValuesLeaveNumbersDatesAndLogicalsBlank) {
  const std::string table = "append '" + path_ + "' ";
  ASSERT_EQ(RunQdbf(table + "CODIGO=a QTD= PRECO= DATA= ATIVO=").status, 0);
  ASSERT_EQ(RunQdbf(table + "CODIGO=b QTD=-2 PRECO=2.675 DATA=20240229 ATIVO=T").status, 0);
  ASSERT_EQ(RunQdbf(table + "CODIGO=c").status, 0);  // unnamed fields hold a blank record's values
  EXPECT_EQ(Stored(1), "a     |      |        |        | ");
  EXPECT_EQ(Stored(2), "b     |    -2|    2.68|20240229|T");
  EXPECT_EQ(Stored(3), "c     |     0|    0.00|        | ");

  const testsupport::ProgramRun refused = RunQdbf(table + "CODIGO=d PRECO=abc");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.output, "Invalid Number value for field PRECO\n");
  const testsupport::ProgramRun too_big = RunQdbf(table + "CODIGO=e QTD=1234567");
  EXPECT_EQ(too_big.status, 1);
  EXPECT_EQ(too_big.output, "numeric value too big in field QTD - 1234567\n");
  dBaseFld t(path_, "", false, true);
  EXPECT_EQ(t.record_count(), 3);
}

}  // namespace
}  // namespace dbase
