// Memo tables for the whole-table and failing-disk tests.
#include "support/memo_tables.h"

#include <memory>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"

namespace testsupport {

using dbase::dBHandler;

void MakeMemoTable(const std::string& path, int dialect, int count, const std::string& tag,
                   const std::function<std::string(int)>& memo) {
  {
    std::unique_ptr<dbase::DBFBuild> b;
    if (dialect == 2) {
      b = std::make_unique<dbase::DB4Build>(path);
    } else if (dialect == 3) {
      b = std::make_unique<dbase::DBFoxBuild>(path);
    } else {
      b = std::make_unique<dbase::DBFBuild>(path);
    }
    b->AddField("CODIGO", 'C', 8, 0);
    b->AddField("QTD", 'N', 6, 0);
    b->AddField("OBS", 'M', 10, 0);
    b->Build();
  }
  dBHandler t(path, "", true, false);
  for (int i = 1; i <= count; ++i) {
    t.Blank();
    t.StringPut(1, tag + std::to_string(i));
    t.NumberPut(2, (i * 37) % 11);
    t.StringPut(3, memo(i));
    t.Append();
    if (i == 4) t.Delete();
  }
}

}  // namespace testsupport
