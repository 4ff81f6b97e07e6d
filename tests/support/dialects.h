// The three table dialects the parameterized tests run over (1 dBase III, 2 dBase IV, 3 FoxPro):
// the engine's builder for each and the name each test instance carries.
#pragma once

#include <memory>
#include <string>

#include "dbf/dbf_build.h"

namespace testsupport {

inline std::unique_ptr<dbase::DBFBuild> DialectBuilder(int dialect, const std::string& path) {
  if (dialect == 2) return std::make_unique<dbase::DB4Build>(path);
  if (dialect == 3) return std::make_unique<dbase::DBFoxBuild>(path);
  return std::make_unique<dbase::DBFBuild>(path);
}

inline std::string DialectName(int dialect) {
  return dialect == 1 ? "dBaseIII" : dialect == 2 ? "dBaseIV" : "FoxPro";
}

}  // namespace testsupport
