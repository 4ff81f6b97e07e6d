// qdbf restructure: a table of command lines on an enciphered FoxPro table with memos and an NTX
// index, each checked for its exit status, its messages, and what it did to the files: usage
// errors and refusals change nothing; --force carries what fits and reports the rest.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dbf/dbf_build.h"
#include "handler/db_handler.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RunQdbf;

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : testsupport::FilesIn(folder)) {
    files[name] = testsupport::ReadFileBytes(folder + "/" + name);
  }
  return files;
}

TEST(QdbfRestructure, CommandLinesOnAnEncipheredTableWithMemosAndAnIndex) {
  if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
  testsupport::TempDir dir;
  const std::string path = dir.File("ITENS.DBF");
  {
    DBFoxBuild build(path);
    build.AddField("CODIGO", 'C', 6, 0);
    build.AddField("QTD", 'N', 6, 1);
    build.AddField("NOTA", 'M', 10, 0);
  }
  {
    dBHandler t(path, "", true, false);
    const char* codes[] = {"12", "7", "abc", "40000"};
    for (int i = 0; i < 4; ++i) {
      t.Blank();
      t.StringPut(1, codes[i]);
      t.NumberPut(2, i * 1.5);
      t.StringPut(3, i == 1 ? "" : "nota " + std::to_string(i));
      t.Append();
    }
    t.GetRecord(2);
    t.Delete();
    t.SetPassword("segredo");
  }
  const std::string table = "'" + path + "' --password segredo ";
  const std::string index = "'" + dir.File("QTD.NTX") + "' ";
  const testsupport::ProgramRun created = RunQdbf("index create " + table + index + "--key 'STR(QTD,6,1)'");
  ASSERT_EQ(created.status, 0) << created.output;
  const std::string t = table + "--index " + index;

  struct Case {
    std::string args;
    int status;
    std::vector<std::string> output;  // pieces the output holds
    bool changes;
  };
  const std::vector<Case> cases = {
      {"", 2, {"nothing to change"}, false},
      {"--add 'X;C'", 2, {"invalid field specification: X;C"}, false},
      {"--add 'X;C;2' --add 'x;N;2'", 2, {"field X is named twice"}, false},
      {"--rename CODIGO", 2, {"expected OLD=NEW"}, false},
      {"--drop NADA", 1, {"there is no field NADA"}, false},
      {"--drop QTD", 1, {"tag QTD of QTD.NTX", "QTD"}, false},
      {"--retype 'CODIGO;N;4'", 1,
       {"record 3, field CODIGO: \"abc\" not a number", "record 4, field CODIGO: \"40000\" too wide for N 4 0",
        "2 values would not fit their new fields; nothing changed"},
       false},
      {"--retype 'CODIGO;N;4' --rename NOTA=OBS --add 'ATIVO;L' --force", 0,
       {"\"abc\" not a number, left blank", "4 records restructured"}, true},
  };
  for (const Case& c : cases) {
    const auto before = Snapshot(dir.path());
    const testsupport::ProgramRun run = RunQdbf("restructure " + t + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    for (const std::string& piece : c.output) {
      EXPECT_NE(run.output.find(piece), std::string::npos) << c.args << "\n" << run.output;
    }
    if (!c.changes) {
      EXPECT_EQ(Snapshot(dir.path()), before) << c.args;
    }
  }

  // The forced change: numbers where they fit, the memos under their new name, the deleted mark,
  // the cipher, and the index rebuilt on the new table.
  const testsupport::ProgramRun dump = RunQdbf("dump " + table + "--deleted --format csv");
  EXPECT_EQ(dump.output,
            "_deleted,CODIGO,QTD,OBS,ATIVO\n"
            ",12,0.0,nota 0,F\n"
            "*,7,1.5,,F\n"
            ",0,3.0,nota 2,F\n"  // left blank: a blank number reads as 0
            ",0,4.5,nota 3,F\n")
      << dump.output;
  const testsupport::ProgramRun check = RunQdbf("index check " + table + index);
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(RunQdbf("info '" + path + "'").status, 1);  // still enciphered
  const auto files = testsupport::FilesIn(dir.path());
  EXPECT_EQ(files, (std::vector<std::string>{"ITENS.BAK", "ITENS.DBF", "ITENS.FPT", "ITENS.TBK", "QTD.NTX"}));
}

}  // namespace
}  // namespace dbase
