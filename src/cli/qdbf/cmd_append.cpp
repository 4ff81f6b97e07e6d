// qdbf append (placeholder until the table layer lands).
#include "cli/qdbf/commands.h"

namespace qdbf {
void RegisterAppend(CLI::App& app) { app.add_subcommand("append", "append"); }
}  // namespace qdbf
