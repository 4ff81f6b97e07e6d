// quarvel-pc: the tray application with its window, or a headless run (--headless, --sync),
// or the demo (--demo).
#include <CLI/CLI.hpp>

#include <clocale>
#include <iostream>
#include <string>

#include "command_line.h"
#include "demo.h"
#include "headless.h"
#ifdef QUARVEL_WITH_GUI
#include "gui/window_application.h"
#endif

int main(int argc, char** argv) {
  // The user's locale gives the short date format and the decimal separator of expressions;
  // numbers in files are written with "." whatever it says.
  std::setlocale(LC_ALL, "");

  quarvel::cli::CommandLine options;
  CLI::App cli("Quarvel PC: HotSync companion of the handheld counting application");
  cli.set_version_flag("--version", std::string("quarvel-pc ") + QUARVEL_VERSION_TEXT);
  auto* home = cli.add_option("--home", options.home, "Program folder (settings file, templates)");
  auto* root = cli.add_option("--hotsync-root", options.hotsync_root, "HotSync root folder");
  cli.add_flag("--headless", options.headless,
               "No window: log lines go to standard output; without --sync, one session runs per "
               "handheld folder read from standard input");
  auto* sync = cli.add_option("--sync", options.sync,
                 "Run one simulated HotSync session with this handheld folder, then end");
  auto* demo = cli.add_flag("--demo", options.demo,
                            "Run the embedded demo (a load and an unload session) headless");
  cli.add_flag("--keep-open", options.keep_open,
               "With --sync and a window: stay open after the session");
  demo->excludes(home)->excludes(root)->excludes(sync);
  CLI11_PARSE(cli, argc, argv);

  try {
    if (options.demo) return quarvel::cli::RunDemo(std::cout, std::cerr);
    const quarvel::ApplicationConfig config = quarvel::cli::MakeConfig(options);
#ifdef QUARVEL_WITH_GUI
    if (!options.headless) {
      return quarvel::gui::RunWindowApplication(argc, argv, config, options.sync,
                                                options.keep_open);
    }
#else
    if (!options.headless && !options.sync) {
      std::cerr << "quarvel-pc: built without the window; use --headless, --sync or --demo\n";
      return 2;
    }
#endif
    return quarvel::cli::RunHeadless(config, options.sync, std::cin, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "quarvel-pc: " << error.what() << '\n';
    return 1;
  }
}
