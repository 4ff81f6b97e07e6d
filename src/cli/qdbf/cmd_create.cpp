// qdbf create (placeholder until the table layer lands).
#include "cli/qdbf/commands.h"

namespace qdbf {
void RegisterCreate(CLI::App& app) { app.add_subcommand("create", "create"); }
}  // namespace qdbf
