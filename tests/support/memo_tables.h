// Small tables with a memo field in each memo dialect, for the tests of whole-table operations
// and failing disks.
#pragma once

#include <functional>
#include <string>

namespace testsupport {

// Builds a table of CODIGO C 8, QTD N 6 and OBS M in `dialect` (1 dBase III, 2 dBase IV,
// 3 FoxPro) and appends `count` records: CODIGO is `tag` and the record number, QTD varies,
// OBS holds memo(i), and record 4 is deleted.
void MakeMemoTable(const std::string& path, int dialect, int count, const std::string& tag,
                   const std::function<std::string(int)>& memo);

}  // namespace testsupport
