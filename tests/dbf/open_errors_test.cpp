// What an engine file reports when it cannot be opened or created: a refusal is "Access denied",
// anything else (too many open files, a failing disk) is not, and the system's reason travels
// with the engine's text to where a user reads it.
#include <errno.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "dbf/dbase_fld.h"
#include "dbf/disk_file.h"
#include "dbf/errors.h"
#include "platform/file_faults.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::TempDir;
using testsupport::WriteFileBytes;

struct Caught {
  std::string what;
  int os_error = -1;
  std::string described;
};

Caught CatchOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return {e.what(), e.os_error(), DescribeError(e)};
  }
  return {};
}

TEST(OpenErrorsTest, EachCauseKeepsItsMessageAndTheSystemsReason) {
  TempDir dir;
  const std::string file = dir.File("a.dat");
  WriteFileBytes(file, "x");
  struct Case {
    const char* name;
    int injected;  // errno of a failing open(2); 0 for none
    std::string what;
    int os_error;
  };
  const Case cases[] = {
      {"too many open files", EMFILE, "Error on Read of file " + file, EMFILE},
      {"input/output error", EIO, "Error on Read of file " + file, EIO},
      {"permission refused", EACCES, "Access denied to file " + file, EACCES},
      {"vanished meanwhile", ENOENT, "File " + file + " could not be found", 0},
      {"opens", 0, "", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DiskFile f(file, true, false);
    Caught caught;
    if (c.injected != 0) {
      platform::ScopedFileFaultForTesting fault({platform::FileOp::kOpen, 1, c.injected, false});
      caught = CatchOf([&] { f.Open(); });
    } else {
      caught = CatchOf([&] { f.Open(); });
    }
    EXPECT_EQ(caught.what, c.what);
    EXPECT_EQ(caught.os_error, c.os_error);
    if (c.os_error > 0) {
      EXPECT_EQ(caught.described, c.what + " (" + std::strerror(c.os_error) + ")");
    } else {
      EXPECT_EQ(caught.described, c.what);
    }
  }

  // A share-mode conflict is a refusal with no system reason to show; a folder is refused too.
  DiskFile holder(file, true, false);
  holder.Open();
  DiskFile second(file, false, true);
  Caught in_use = CatchOf([&] { second.Open(); });
  EXPECT_EQ(in_use.what, "Access denied to file " + file);
  EXPECT_EQ(in_use.os_error, 0);
  DiskFile creator(file, true, false);
  EXPECT_EQ(CatchOf([&] { creator.Create(); }).described, "Could not create file " + file);
  holder.Close();

  DiskFile folder(dir.path(), false, false);
  Caught is_folder = CatchOf([&] { folder.Open(); });
  EXPECT_EQ(is_folder.what, "Access denied to file " + folder.file_name());
  EXPECT_EQ(is_folder.os_error, EISDIR);
}

// A table whose file cannot be opened for want of descriptors says so, through the table layer.
TEST(OpenErrorsTest, ATableOpenReportsTheSystemsReason) {
  TempDir dir;
  const std::string path = dir.File("T.DBF");
  // A dBase III header with one C field of 1 byte and no records.
  std::string header(65, '\0');
  header[0] = 0x03;
  header[8] = 65;
  header[10] = 2;
  header.replace(32, 1, "A");
  header[43] = 'C';
  header[48] = 1;
  header[64] = 0x0D;
  WriteFileBytes(path, header + "\x1A");
  dBaseFld ok(path, "", false, true);  // the file is a table
  platform::ScopedFileFaultForTesting fault({platform::FileOp::kOpen, 1, EMFILE, false});
  EXPECT_EQ(CatchOf([&] { dBaseFld t(path, "", false, true); }).described,
            "Error on Read of file " + path + " (Too many open files)");
}

}  // namespace
}  // namespace dbase
