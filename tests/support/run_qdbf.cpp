// Running qdbf from tests.
#include "support/run_qdbf.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace testsupport {

bool QdbfAvailable() { return std::getenv("QDBF") != nullptr; }

QdbfRun RunQdbf(const std::string& args) {
  QdbfRun run;
  const char* qdbf = std::getenv("QDBF");
  if (qdbf == nullptr) return run;
  std::string command = std::string("'") + qdbf + "' " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) run.output.append(buf, n);
  int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

}  // namespace testsupport
