// The verbs of qdbf. Each verb lives in its own cmd_*.cpp and registers itself on the app.
#pragma once

#include <CLI/CLI.hpp>

namespace qdbf {

// Exit statuses: 0 success, 1 engine error (message on stderr), 2 usage error.
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
// Thrown by a verb that has printed its result and ends with a status of its own (check: 1 when
// it found damage).
struct VerbStatus {
  int status;
};

void RegisterInfo(CLI::App& app);
void RegisterDump(CLI::App& app);
void RegisterCreate(CLI::App& app);
void RegisterAppend(CLI::App& app);
void RegisterEval(CLI::App& app);
void RegisterTableOps(CLI::App& app);
void RegisterEdit(CLI::App& app);
void RegisterImport(CLI::App& app);
void RegisterIndex(CLI::App& app);
void RegisterRestructure(CLI::App& app);
void RegisterCheck(CLI::App& app);

}  // namespace qdbf
