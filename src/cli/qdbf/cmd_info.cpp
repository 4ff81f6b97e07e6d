// qdbf info (placeholder until the table layer lands).
#include "cli/qdbf/commands.h"

namespace qdbf {
void RegisterInfo(CLI::App& app) { app.add_subcommand("info", "info"); }
}  // namespace qdbf
