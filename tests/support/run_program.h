// Running the qdbf tool (its path in the QDBF environment variable, which ctest sets) from tests:
// to completion with its output, or in the background for tests that kill it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

struct ProgramRun {
  std::string output;  // standard output and standard error together
  int status = -1;     // exit status; -1 when it did not exit normally or could not run
};

// The qdbf path, or nullptr when QDBF is not set (the test is then skipped).
const char* QdbfPath();

// Runs qdbf with `args`, words for the shell (quote paths yourself).
ProgramRun RunQdbf(const std::string& args);

// Starts qdbf with `args` (one argument each, no shell), its output discarded; its process id.
pid_t StartQdbf(const std::vector<std::string>& args);

}  // namespace testsupport
