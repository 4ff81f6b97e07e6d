// Key maintenance on a disk whose Nth read, write, fsync, truncate or rename fails, for N = 1, 2,
// ... until the write completes, in every format: an append and a key-changing replace through the
// table handler with its index open must raise, and leave the table old or new with an index that
// either holds exactly the table's keys or is refused as damaged; never one that opens as sound
// while it lacks a key or holds a stray one. The failure points are printed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "handler/db_handler.h"
#include "index/index_file.h"
#include "support/failure_sweep.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Restore(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What a reader finds: "" when the index holds exactly the table's keys, "refused" when the
// index or table will not open, else the check's first difference.
std::string Verdict(const std::string& table, const std::string& index, int32_t* count) {
  try {
    dBHandler t(table, "", false, false);
    *count = t.record_count();
    try {
      t.OpenIndexFile(index);
    } catch (const EngineError&) {
      return "refused";
    }
    return t.CheckIndexes();
  } catch (const EngineError& e) {
    return std::string("refused: ") + e.what();
  }
}

TEST(IndexMaintenanceFailingDiskTest, AFailedWriteLeavesTheIndexWholeOrRefused) {
  for (const std::string ext : {".ntx", ".ndx", ".mdx", ".cdx"}) {
    for (const bool replace : {false, true}) {
      SCOPED_TRACE(ext + (replace ? " replace" : " append"));
      testsupport::TempDir dir;
      const std::string table = dir.File("ITENS.DBF");
      const std::string index = dir.File("ITENS" + ext);
      {
        DBFBuild build(table);
        build.AddField("CODE", 'C', 8, 0);
        build.Build();
      }
      {
        dBHandler t(table, "", true, false);
        for (int n = 0; n < 400; ++n) {
          t.Blank();
          t.StringPut(1, "K" + std::to_string((n * 7919) % 99991));
          t.Append();
        }
        t.DefineTag(index, TagDefinition{"CODE", "CODE", "", false, false});
      }
      const std::string table_bytes = Slurp(table);
      const std::string index_bytes = Slurp(index);
      auto prepare = [&] {
        Restore(table, table_bytes);
        Restore(index, index_bytes);
      };
      auto run = [&] {
        dBHandler t(table, "", true, true);
        t.OpenIndexFile(index);
        if (replace) {
          t.GetRecord(200);
          t.StringPut(1, "A0");
          t.PutRecord(200);
        } else {
          t.Blank();
          t.StringPut(1, "A1");
          t.Append();
        }
      };
      int refused = 0;
      const testsupport::FailurePoints points =
          testsupport::SweepFailures(prepare, run, [&](const testsupport::SweepRun& r) {
            int32_t count = 0;
            const std::string verdict = Verdict(table, index, &count);
            EXPECT_TRUE(count == 400 || count == 401) << count;
            if (!r.raised) {
              EXPECT_EQ(verdict, "") << (r.fired ? "a failure passed for success" : "the whole run went wrong");
              return;
            }
            if (verdict.rfind("refused", 0) == 0) {
              ++refused;
            } else {
              EXPECT_EQ(verdict, "") << r.kind->name << " at " << r.nth << ": " << r.message;
            }
          });
      std::printf("[ points   ] key maintenance %s %s: %s; %d left an index refused as damaged\n", ext.c_str(),
                  replace ? "replace" : "append", points.Describe().c_str(), refused);
      EXPECT_GT(points.total, 2u);
    }
  }
}

}  // namespace
}  // namespace dbase
