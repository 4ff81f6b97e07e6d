// qdbf delete, recall and replace: random sequences of the three verbs checked against a model of
// the table in every dialect with memos, and every refusal leaving the files byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dbf/dbase_fld.h"
#include "dbf/dbf_build.h"
#include "support/dialects.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RunQdbf;

struct Row {
  std::string code;
  int qtd = 0;
  std::string note;
  bool deleted = false;
};

class QdbfEditTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
    path_ = dir_.File("ITENS.DBF");
    {
      auto build = testsupport::DialectBuilder(GetParam(), path_);
      build->AddField("CODIGO", 'C', 6, 0);
      build->AddField("QTD", 'N', 6, 0);
      build->AddField("NOTA", 'M', 10, 0);
      build->Build();
    }
    dBaseFld t(path_, "", true, false);
    for (int i = 0; i < 30; ++i) {
      Row row{"C" + std::to_string(i), i % 10, i % 3 == 0 ? "" : "nota " + std::to_string(i), false};
      t.Blank();
      t.StringPutByName("CODIGO", row.code);
      t.NumberPutByName("QTD", row.qtd);
      t.StringPutByName("NOTA", row.note);
      t.Append();
      model_.push_back(row);
    }
  }

  void ExpectTableIsModel(const std::string& context) {
    dBaseFld t(path_, "", false, true);
    ASSERT_EQ(t.record_count(), static_cast<int32_t>(model_.size())) << context;
    for (size_t i = 0; i < model_.size(); ++i) {
      t.GetRecord(static_cast<int32_t>(i + 1));
      const Row& want = model_[i];
      EXPECT_EQ(t.deleted(), want.deleted) << context << " record " << i + 1;
      EXPECT_EQ(t.FieldGetByName("CODIGO"), want.code + std::string(6 - want.code.size(), ' '))
          << context << " record " << i + 1;
      EXPECT_EQ(static_cast<int>(t.NumberGetByName("QTD")), want.qtd) << context << " record " << i + 1;
      EXPECT_EQ(t.MemoRead(t.FieldNumber("NOTA")), want.note) << context << " record " << i + 1;
    }
  }

  std::string Table() const { return "'" + path_ + "' "; }

  testsupport::TempDir dir_;
  std::string path_;
  std::vector<Row> model_;
};

TEST_P(QdbfEditTest, RandomDeletesRecallsAndReplacesMatchAModel) {
  // An index whose keys every replace changes, kept up to date by each verb.
  const std::string index = "'" + dir_.File("QTD.NTX") + "'";
  const testsupport::ProgramRun created =
      RunQdbf("index create " + Table() + index + " --key 'STR(QTD, 6) + CODIGO'");
  ASSERT_EQ(created.status, 0) << created.output;
  std::mt19937 random(GetParam());
  for (int step = 0; step < 24; ++step) {
    const int k = static_cast<int>(random() % 12);
    const int op = static_cast<int>(random() % 4);
    std::string args;
    std::string expected;
    int changed = 0;
    if (op == 0) {
      args = "delete " + Table() + "--filter 'QTD > " + std::to_string(k) + "'";
      for (Row& r : model_) {
        if (r.qtd > k && !r.deleted) r.deleted = true, ++changed;
      }
      expected = std::to_string(changed) + " deleted\n";
    } else if (op == 1) {
      args = "recall " + Table() + "--filter 'QTD <= " + std::to_string(k) + "'";
      for (Row& r : model_) {
        if (r.qtd <= k && r.deleted) r.deleted = false, ++changed;
      }
      expected = std::to_string(changed) + " recalled\n";
    } else if (op == 2) {
      // Both values come from the record as it was: QTD's new value does not feed NOTA's.
      args = "replace " + Table() + "--set 'QTD=MOD(QTD + " + std::to_string(k) +
             ", 10)' --set 'NOTA=TRIM(NOTA) + STR(QTD, 2)' --filter 'DELETED() .OR. QTD < " +
             std::to_string(k) + "'";
      for (Row& r : model_) {
        if (!(r.deleted || r.qtd < k)) continue;
        std::string qtd = std::to_string(r.qtd);
        r.note += std::string(2 - qtd.size(), ' ') + qtd;
        r.qtd = (r.qtd + k) % 10;
        ++changed;
      }
      expected = std::to_string(changed) + " replaced\n";
    } else {
      args = "replace " + Table() + "--set 'NOTA=\"\"' --filter 'LEN(NOTA) > " + std::to_string(10 + k) + "'";
      for (Row& r : model_) {
        if (static_cast<int>(r.note.size()) > 10 + k) r.note.clear(), ++changed;
      }
      expected = std::to_string(changed) + " replaced\n";
    }
    const testsupport::ProgramRun run = RunQdbf(args + " --index " + index);
    ASSERT_EQ(run.status, 0) << args << "\n" << run.output;
    EXPECT_EQ(run.output, expected) << args;
    ExpectTableIsModel(args);
  }
  const testsupport::ProgramRun check = RunQdbf("index check " + Table() + index);
  EXPECT_EQ(check.status, 0) << check.output;
}

TEST_P(QdbfEditTest, RefusalsChangeNothing) {
  struct Case {
    std::string args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"replace " + Table() + "--set 'QTD=CODIGO'", "Field QTD is the incorrect type"},
      {"replace " + Table() + "--set 'NOTA=QTD'", "Field NOTA is the incorrect type"},
      {"replace " + Table() + "--set 'NADA=1'", "There is no field name "},
      // The last records overflow the field; the first ones would fit.
      {"replace " + Table() + "--set 'QTD=QTD * 10 ^ QTD'", "numeric value too big in field QTD"},
      // Division by zero on a record in the middle.
      {"replace " + Table() + "--set 'QTD=100 / (QTD - 5)'", "Division by zero"},
      {"delete " + Table() + "--filter 'QTD'", "Filter expression must return boolean result"},
      {"delete " + Table() + "--filter 'QTD >'", ""},
      {"recall " + Table() + "--filter 'NOPE = 1'", ""},
      {"replace " + Table() + "--set QTD", "FIELD=EXPR"},
  };
  const std::string memo = path_.substr(0, path_.size() - 3) + (GetParam() == 3 ? "FPT" : "DBT");
  const std::string table_before = testsupport::ReadFileBytes(path_);
  const std::string memo_before = testsupport::ReadFileBytes(memo);
  ASSERT_FALSE(memo_before.empty());
  for (const Case& c : cases) {
    const testsupport::ProgramRun run = RunQdbf(c.args);
    EXPECT_NE(run.status, 0) << c.args;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << c.args << "\n" << run.output;
    EXPECT_EQ(testsupport::ReadFileBytes(path_), table_before) << c.args;
    EXPECT_EQ(testsupport::ReadFileBytes(memo), memo_before) << c.args;
  }
}

// Pack keeps the records not deleted, in their order, with their memos in a smaller memo file,
// and rebuilds the index named with --index, which index check then finds clean.
TEST_P(QdbfEditTest, PackKeepsTheLiveRecordsCompactsMemosAndRebuildsTheIndex) {
  const std::string index = "'" + dir_.File("CODES.NTX") + "'";
  ASSERT_EQ(RunQdbf("index create " + Table() + index + " --key CODIGO").status, 0);
  ASSERT_EQ(RunQdbf("delete " + Table() + "--filter 'QTD < 6' --index " + index).status, 0);
  // Rewritten memos leave old blocks behind in every dialect but dBase IV's free list.
  ASSERT_EQ(RunQdbf("replace " + Table() + "--set 'NOTA=NOTA+NOTA' --index " + index).status, 0);
  for (Row& r : model_) r.note += r.note;
  std::vector<Row> live;
  for (const Row& r : model_) {
    if (r.qtd >= 6) live.push_back(r);
  }
  const std::string memo = path_.substr(0, path_.size() - 3) + (GetParam() == 3 ? "FPT" : "DBT");
  const size_t memo_before = testsupport::ReadFileBytes(memo).size();

  const testsupport::ProgramRun packed = RunQdbf("pack " + Table() + "--index " + index);
  ASSERT_EQ(packed.status, 0) << packed.output;
  model_ = live;
  ExpectTableIsModel("pack");
  EXPECT_LT(testsupport::ReadFileBytes(memo).size(), memo_before);
  const testsupport::ProgramRun check = RunQdbf("index check " + Table() + index);
  EXPECT_EQ(check.status, 0) << check.output;
  const testsupport::ProgramRun dump = RunQdbf("index dump " + Table() + index);
  EXPECT_EQ(static_cast<size_t>(std::count(dump.output.begin(), dump.output.end(), '\n')), live.size());
}

INSTANTIATE_TEST_SUITE_P(Dialects, QdbfEditTest, ::testing::Values(1, 2, 3),
                         [](const auto& param_info) { return testsupport::DialectName(param_info.param); });

}  // namespace
}  // namespace dbase
