// Key maintenance on a disk whose Nth read, write, fsync, truncate or rename fails, for N = 1, 2,
// ... until the write completes, in every format, shared and exclusive: an append and a
// key-changing replace through the table handler with its index open must raise, and leave the
// table old or new with an index that either holds exactly the table's keys or is refused as
// damaged until an exclusive open rebuilds it; never one that opens as sound while it lacks a key
// or holds a stray one. The failure points are printed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

// A table of `count` records with scattered codes (every fifth marked deleted when `deleted`)
// and a CODE tag in `index`, with a descending BACK tag beside it when `back`; returns the codes.
std::vector<std::string> MakeItems(const std::string& table, const std::string& index, int count, bool deleted,
                                   bool back) {
  {
    DBFBuild build(table);
    build.AddField("CODE", 'C', 8, 0);
    build.Build();
  }
  std::vector<std::string> codes;
  dBHandler t(table, "", true, false);
  for (int n = 0; n < count; ++n) {
    t.Blank();
    t.StringPut(1, "K" + std::to_string((n * 7919) % 99991));
    if (deleted && n % 5 == 0) t.record()[0] = '*';
    t.Append();
    codes.push_back(t.StringGet(1));
  }
  t.DefineTag(index, TagDefinition{"CODE", "CODE", "", false, false});
  if (back) t.DefineTag(index, TagDefinition{"BACK", "CODE", "", false, true});
  return codes;
}

// What a reader finds: "" when the index holds exactly the table's keys, "refused: ..." when the
// index or table will not open, else the check's first difference. `codes` gets the table's
// CODE values in record order.
std::string Verdict(const std::string& table, const std::string& index, std::vector<std::string>* codes,
                    int* tags = nullptr) {
  try {
    dBHandler t(table, "", false, false);
    codes->clear();
    for (int32_t n = 1; n <= t.record_count(); ++n) {
      t.GetRecord(n);
      codes->push_back(t.StringGet(1));
    }
    try {
      t.OpenIndexFile(index);
    } catch (const EngineError& e) {
      return std::string("refused: ") + e.what();
    }
    if (tags) *tags = t.OpenIndexFile(index)->tag_count();
    return t.CheckIndexes();
  } catch (const EngineError& e) {
    return std::string("refused: table: ") + e.what();
  }
}

// An index refused after a failure is refused by a shared open too, and rebuilt by the next
// exclusive read-write open, after which it reads as whole; "unreadable: ..." when even that
// open cannot read it.
std::string RebuiltVerdict(const std::string& table, const std::string& index) {
  try {
    dBHandler t(table, "", true, true);
    t.OpenIndexFile(index);
    return "a shared open took the marked index";
  } catch (const EngineError&) {
    // Refused under the index lock, as it should be.
  }
  try {
    dBHandler t(table, "", true, false);
    t.OpenIndexFile(index);
    const std::string problem = t.CheckIndexes();
    if (!problem.empty()) return "after the rebuild: " + problem;
  } catch (const EngineError& e) {
    // A file a rebuild cut short may not open at all: it is made again, not rebuilt.
    return std::string("unreadable: ") + e.what();
  }
  std::vector<std::string> codes;
  return Verdict(table, index, &codes);
}

TEST(IndexMaintenanceFailingDiskTest, AFailedWriteLeavesTheIndexWholeOrRefused) {
  for (const std::string ext : {".ntx", ".ndx", ".mdx", ".cdx"}) {
    for (const bool replace : {false, true}) {
      for (const bool shared : {true, false}) {
        const std::string what = ext + (replace ? " replace" : " append") + (shared ? " shared" : " exclusive");
        SCOPED_TRACE(what);
        testsupport::TempDir dir;
        const std::string table = dir.File("ITENS.DBF");
        const std::string index = dir.File("ITENS" + ext);
        // A built tree has full leaves: the new key, first in order, splits the first one.
        const std::vector<std::string> old_codes = MakeItems(table, index, 400, false, false);
        std::vector<std::string> new_codes = old_codes;
        if (replace) {
          new_codes[199] = "A0";
        } else {
          new_codes.push_back("A1");
        }
        const std::string table_bytes = Slurp(table);
        const std::string index_bytes = Slurp(index);
        auto prepare = [&] {
          Restore(table, table_bytes);
          Restore(index, index_bytes);
        };
        auto run = [&] {
          dBHandler t(table, "", true, shared);
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
          // An exclusive table writes held records and its header here, as a close would.
          t.Flush();
        };
        int refused = 0;
        const testsupport::FailurePoints points =
            testsupport::SweepFailures(prepare, run, [&](const testsupport::SweepRun& r) {
              std::vector<std::string> codes;
              const std::string verdict = Verdict(table, index, &codes);
              const std::string where = r.kind ? r.kind->name + " at " + std::to_string(r.nth) + ": " + r.message : "";
              EXPECT_TRUE(codes == old_codes || codes == new_codes) << where << ": the table is neither old nor new";
              if (!r.raised) {
                EXPECT_EQ(verdict, "") << (r.fired ? "a failure passed for success" : "the whole run went wrong");
                EXPECT_EQ(codes, new_codes);
                return;
              }
              if (verdict.rfind("refused", 0) == 0) {
                ++refused;
                EXPECT_NE(verdict.find("is corrupted"), std::string::npos) << where << ": " << verdict;
                EXPECT_EQ(RebuiltVerdict(table, index), "") << where;
              } else {
                EXPECT_EQ(verdict, "") << where;
              }
            });
        std::printf("[ points   ] key maintenance %s: %s; %d left an index refused until rebuilt\n", what.c_str(),
                    points.Describe().c_str(), refused);
        EXPECT_GT(points.total, 2u);
      }
    }
  }
}

// Reindex, pack and delete-tag with the index open, on the same failing disk: the table is old
// or new, the index holds the old or the new tags with exactly the table's keys, or is refused
// until an exclusive open rebuilds it.
TEST(IndexMaintenanceFailingDiskTest, AFailedRebuildLeavesTheIndexWholeOrRefused) {
  for (const std::string ext : {".ntx", ".ndx", ".mdx", ".cdx"}) {
    const bool multi = ext == ".mdx" || ext == ".cdx";
    for (const std::string op : {"reindex", "pack", "delete-tag"}) {
      if (op == "delete-tag" && !multi) continue;
      const std::string what = ext + " " + op;
      SCOPED_TRACE(what);
      testsupport::TempDir dir;
      const std::string table = dir.File("ITENS.DBF");
      const std::string index = dir.File("ITENS" + ext);
      const std::vector<std::string> old_codes = MakeItems(table, index, 300, true, multi);
      std::vector<std::string> new_codes;
      for (size_t n = 0; n < old_codes.size(); ++n) {
        if (n % 5 != 0 || op != "pack") new_codes.push_back(old_codes[n]);
      }
      const int old_tags = multi ? 2 : 1;
      const int new_tags = op == "delete-tag" ? 1 : old_tags;
      const std::string table_bytes = Slurp(table);
      const std::string index_bytes = Slurp(index);
      auto prepare = [&] {
        for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
        Restore(table, table_bytes);
        Restore(index, index_bytes);
      };
      auto run = [&] {
        dBHandler t(table, "", true, false);
        t.OpenIndexFile(index);
        if (op == "reindex") t.Reindex();
        if (op == "pack") t.Pack();
        if (op == "delete-tag") t.DeleteTag("BACK");
        t.Flush();
      };
      int refused = 0, unreadable = 0;
      const testsupport::FailurePoints points =
          testsupport::SweepFailures(prepare, run, [&](const testsupport::SweepRun& r) {
            std::vector<std::string> codes;
            int tags = 0;
            const std::string verdict = Verdict(table, index, &codes, &tags);
            const std::string where = r.kind ? r.kind->name + " at " + std::to_string(r.nth) + ": " + r.message : "";
            EXPECT_TRUE(codes == old_codes || codes == new_codes) << where << ": the table is neither old nor new";
            if (!r.raised) {
              EXPECT_EQ(verdict, "") << (r.fired ? "a failure passed for success" : "the whole run went wrong");
              EXPECT_EQ(codes, new_codes);
              EXPECT_EQ(tags, new_tags);
              return;
            }
            if (verdict.rfind("refused", 0) == 0) {
              ++refused;
              EXPECT_NE(verdict.find("is corrupted"), std::string::npos) << where << ": " << verdict;
              const std::string rebuilt = RebuiltVerdict(table, index);
              if (rebuilt.rfind("unreadable", 0) == 0) {
                ++unreadable;
                EXPECT_NE(rebuilt.find("is corrupted"), std::string::npos) << where << ": " << rebuilt;
              } else {
                EXPECT_EQ(rebuilt, "") << where;
              }
            } else {
              EXPECT_EQ(verdict, "") << where;
              EXPECT_TRUE(tags == old_tags || tags == new_tags) << where << ": " << tags << " tags";
            }
          });
      std::printf("[ points   ] %s: %s; %d left an index refused, %d of them one to make again\n", what.c_str(),
                  points.Describe().c_str(), refused, unreadable);
      EXPECT_GT(points.total, 2u);
    }
  }
}

}  // namespace
}  // namespace dbase
