// Two processes appending to one shared table under the append lock: no record is lost or torn.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>

#include "dbf/dbase_fld.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RawField;

constexpr int kPerProcess = 10000;

void AppendMany(const std::string& path, char writer) {
  dBaseFld t(path, "", true, true);
  for (int i = 0; i < kPerProcess; ++i) {
    t.Blank();
    t.StringPut(1, std::string(1, writer) + std::to_string(i));
    t.NumberPut(2, i);
    t.Append();
  }
}

TEST(SharedAppendTest, TwoProcessesAppendTwentyThousandWholeRecords) {
  testsupport::TempDir dir;
  std::string path = dir.File("SHARED.DBF");
  std::vector<RawField> fields = {{"CODIGO", 'C', 20}, {"SEQ", 'N', 6}};
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, fields, {}));

  pid_t children[2];
  const char writers[2] = {'A', 'B'};
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      int rc = 0;
      try {
        AppendMany(path, writers[c]);
      } catch (...) {
        rc = 1;
      }
      _exit(rc);
    }
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  dBaseFld t(path, "", false, false);
  ASSERT_EQ(t.record_count(), 2 * kPerProcess);
  std::string bytes = testsupport::ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), static_cast<size_t>(t.header_length() + 2 * kPerProcess * t.record_length() + 1));
  EXPECT_EQ(bytes.back(), '\x1A');
  EXPECT_EQ(static_cast<uint8_t>(bytes[4]) | static_cast<uint8_t>(bytes[5]) << 8, 2 * kPerProcess);
  std::set<std::string> seen;
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) {
    ASSERT_FALSE(t.deleted());
    std::string code = t.StringGet(1);
    ASSERT_EQ(code.substr(1), std::to_string(static_cast<int>(t.NumberGet(2)))) << "torn record " << t.record_number();
    seen.insert(code);
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(2 * kPerProcess));
}

}  // namespace
}  // namespace dbase
