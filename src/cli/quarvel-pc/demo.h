// quarvel-pc --demo: the embedded demo copied into a fresh temporary folder, a load session and
// an unload session run headless, then the log and the files written.
#pragma once

#include <iosfwd>

namespace quarvel::cli {

int RunDemo(std::ostream& out, std::ostream& err);

}  // namespace quarvel::cli
