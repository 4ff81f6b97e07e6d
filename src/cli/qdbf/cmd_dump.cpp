// qdbf dump (placeholder until the table layer lands).
#include "cli/qdbf/commands.h"

namespace qdbf {
void RegisterDump(CLI::App& app) { app.add_subcommand("dump", "dump"); }
}  // namespace qdbf
