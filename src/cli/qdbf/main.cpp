// qdbf: the engine's own command-line tool. Engine errors go to stderr with exit status 1,
// usage errors exit 2.
#include <exception>
#include <iostream>
#include <string>

#include "cli/qdbf/commands.h"
#include "dbf/errors.h"

int main(int argc, char** argv) {
  CLI::App app{"qdbf: inspect and edit dBase tables"};
  app.set_version_flag("--version", std::string("qdbf ") + QUARVEL_VERSION_TEXT);
  app.require_subcommand(1);
  qdbf::RegisterInfo(app);
  qdbf::RegisterDump(app);
  qdbf::RegisterCreate(app);
  qdbf::RegisterAppend(app);
  qdbf::RegisterEval(app);
  qdbf::RegisterTableOps(app);
  qdbf::RegisterEdit(app);
  qdbf::RegisterImport(app);
  qdbf::RegisterIndex(app);
  qdbf::RegisterRestructure(app);
  qdbf::RegisterCheck(app);
  try {
    app.parse(argc, argv);
  } catch (const qdbf::VerbStatus& s) {
    return s.status;
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? 0 : qdbf::kExitUsage;
  } catch (const dbase::EngineError& e) {
    std::cerr << dbase::DescribeError(e) << "\n";
    return qdbf::kExitError;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return qdbf::kExitError;
  }
  return 0;
}
