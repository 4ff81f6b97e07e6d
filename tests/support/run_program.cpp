// Running qdbf through the shell or as a child process.
#include "support/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace testsupport {

const char* QdbfPath() { return std::getenv("QDBF"); }

ProgramRun RunQdbf(const std::string& args) {
  ProgramRun run;
  const char* qdbf = QdbfPath();
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

pid_t StartQdbf(const std::vector<std::string>& args) {
  const char* qdbf = QdbfPath();
  if (qdbf == nullptr) return -1;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(qdbf));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    execv(qdbf, argv.data());
    _exit(127);
  }
  return pid;
}

}  // namespace testsupport
