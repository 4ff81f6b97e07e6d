// Runs the qdbf tool (its path in the QDBF environment variable, which ctest sets) and collects
// what it prints on both streams with its exit status.
#pragma once

#include <string>

namespace testsupport {

struct QdbfRun {
  std::string output;  // standard output and standard error, in order
  int status = -1;     // exit status; -1 when qdbf could not be run
};

// True when QDBF names the tool (tests skip themselves otherwise, outside ctest).
bool QdbfAvailable();

// `args` go through the shell as given: quote paths and expressions.
QdbfRun RunQdbf(const std::string& args);

}  // namespace testsupport
