// Index files kept by the table handler: thousands of random appends, key-changing replaces,
// deletes and recalls through dBHandler, in every format with plain, unique, descending and FOR
// tags, checked against a model of the records after every run and after reopening; and two
// real processes appending to one shared table with an open index under every lock protocol.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "index/index_file.h"
#include "index/index_tag.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

struct Row {
  std::string code;  // C 8
  int num = 0;       // N 6 0
  int id = 0;        // N 6 0, written once: a unique tag keeps the first record of each
  bool deleted = false;
};

std::string MakeTable(const testsupport::TempDir& dir) {
  const std::string path = dir.File("ITENS.DBF");
  DBFBuild build(path);
  build.AddField("CODE", 'C', 8, 0);
  build.AddField("NUM", 'N', 6, 0);
  build.AddField("ID", 'N', 6, 0);
  build.Build();
  return path;
}

// The tags each format gets: one file per tag for the single-tag formats.
struct TagPlan {
  std::string file;
  TagDefinition definition;
};

std::vector<TagPlan> PlanFor(const std::string& ext) {
  const bool multi = ext == ".mdx" || ext == ".cdx";
  auto file = [&](const std::string& name) { return (multi ? std::string("ITENS") : name) + ext; };
  std::vector<TagPlan> plan = {{file("BYCODE"), {"BYCODE", "CODE", "", false, false}},
                               {file("BYNUM"), {"BYNUM", "NUM", "", false, false}},
                               {file("BYID"), {"BYID", "ID", "", true, false}}};
  // NDX has no place for a FOR condition or descending order.
  if (ext != ".ndx") plan.push_back({file("POSCODE"), {"POSCODE", "CODE", "NUM > 0", false, true}});
  return plan;
}

// The keys a tag must list, in its order (equal keys in any order): codes or numbers as text.
std::vector<std::string> ModelKeys(const std::vector<Row>& rows, const TagDefinition& d) {
  std::vector<std::string> keys;
  std::map<int, bool> seen;
  for (const Row& r : rows) {
    if (!d.for_expression.empty() && r.num <= 0) continue;
    if (d.key_expression == "NUM") {
      keys.push_back(std::to_string(r.num));
    } else if (d.key_expression == "ID") {
      if (d.unique && seen[r.id]) continue;
      seen[r.id] = true;
      keys.push_back(std::to_string(r.id));
    } else {
      keys.push_back(r.code);
    }
  }
  if (d.key_expression != "CODE") {
    std::sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); });
  } else {
    std::sort(keys.begin(), keys.end());
  }
  if (d.descending) std::reverse(keys.begin(), keys.end());
  return keys;
}

// The keys the handler shows walking the tag, read from the records.
std::vector<std::string> WalkedKeys(dBHandler& t, const TagDefinition& d) {
  t.SelectTag(d.name, false);
  std::vector<std::string> keys;
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) {
    const int field = t.FieldNumber(d.key_expression);
    keys.push_back(field == 1 ? t.FieldGet(1) : std::to_string(static_cast<int>(t.NumberGet(field))));
  }
  return keys;
}

void ExpectModel(dBHandler& t, const std::vector<Row>& rows, const std::vector<TagPlan>& plan) {
  EXPECT_EQ(t.CheckIndexes(), "");
  for (const TagPlan& p : plan) {
    SCOPED_TRACE(p.definition.name);
    EXPECT_EQ(WalkedKeys(t, p.definition), ModelKeys(rows, p.definition));
  }
}

class HandlerIndexModelTest : public ::testing::TestWithParam<std::string> {};

TEST_P(HandlerIndexModelTest, RandomWritesKeepEveryTagEqualToTheModel) {
  const std::string ext = GetParam();
  testsupport::TempDir dir;
  const std::string path = MakeTable(dir);
  const std::vector<TagPlan> plan = PlanFor(ext);
  std::vector<Row> rows;
  std::mt19937 rng(20);
  auto code = [&] {
    // Few distinct codes: many duplicates; long shared prefixes.
    std::string c = "K" + std::to_string(rng() % 600) + std::string(1, static_cast<char>('A' + rng() % 3));
    return c + std::string(8 - c.size(), ' ');
  };
  {
    dBHandler t(path, "", true, false);
    for (const TagPlan& p : plan) t.DefineTag(dir.File(p.file), p.definition);
    for (int op = 0; op < 4000; ++op) {
      const unsigned kind = rng() % 10;
      if (rows.empty() || kind < 5) {
        Row r{code(), static_cast<int>(rng() % 101) - 50, static_cast<int>(rng() % 1500), false};
        t.Blank();
        t.StringPut(1, r.code);
        t.NumberPut(2, r.num);
        t.NumberPut(3, r.id);
        t.Append();
        rows.push_back(r);
      } else if (kind < 8) {
        // A replace that changes the code, the number (turning the FOR condition), or both.
        const int32_t n = static_cast<int32_t>(rng() % rows.size()) + 1;
        Row& r = rows[static_cast<size_t>(n - 1)];
        t.GetRecord(n);
        if (rng() % 2) r.code = code();
        if (rng() % 2) r.num = static_cast<int>(rng() % 101) - 50;
        t.StringPut(1, r.code);
        t.NumberPut(2, r.num);
        t.PutRecord(n);
      } else {
        const int32_t n = static_cast<int32_t>(rng() % rows.size()) + 1;
        Row& r = rows[static_cast<size_t>(n - 1)];
        t.GetRecord(n);
        if (r.deleted) {
          t.Undelete();
        } else {
          t.Delete();
        }
        r.deleted = !r.deleted;
      }
      // Reading other records between writes must not mislead key maintenance.
      if (op % 7 == 0) t.GetRecord(static_cast<int32_t>(rng() % rows.size()) + 1);
    }
    ExpectModel(t, rows, plan);
  }
  // Reopened as another program would: the files alone hold the order.
  dBHandler t(path, "", false, true);
  for (const TagPlan& p : plan) t.OpenIndexFile(dir.File(p.file));
  ExpectModel(t, rows, plan);
  // Deep enough to have split pages and roots.
  EXPECT_GT(rows.size(), 1500u);
}

INSTANTIATE_TEST_SUITE_P(Formats, HandlerIndexModelTest, ::testing::Values(".ntx", ".ndx", ".mdx", ".cdx"),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param.substr(1); });

// Two processes append to one shared table with its index open, each under the protocol given,
// and replace records the other wrote: no record and no key is lost.
TEST(HandlerIndexSharingTest, TwoProcessesWritingOneTableLoseNoKey) {
  for (const std::string ext : {".ntx", ".ndx", ".mdx", ".cdx"}) {
    for (int protocol = 0; protocol <= 3; ++protocol) {
      SCOPED_TRACE(ext + " protocol " + std::to_string(protocol));
      testsupport::TempDir dir;
      const std::string path = MakeTable(dir);
      const std::string index = dir.File("CODES" + ext);
      {
        dBHandler t(path, "", true, false);
        t.DefineTag(index, TagDefinition{"CODES", "CODE", "", false, false});
      }
      constexpr int kEach = 120;
      std::vector<pid_t> children;
      for (int worker = 0; worker < 2; ++worker) {
        const pid_t pid = fork();
        if (pid == 0) {
          int status = 0;
          try {
            dBHandler t(path, "", true, true);
            t.SetLockProtocol(protocol);
            t.OpenIndexFile(index);
            for (int i = 0; i < kEach; ++i) {
              t.Blank();
              t.StringPut(1, std::string(1, static_cast<char>('A' + worker)) + std::to_string(i));
              t.NumberPut(2, i);
              t.Append();
              if (i % 10 == 9) {
                // Rewrite one of the records written so far with its key unchanged: no entry doubles.
                t.GetRecord(1 + i / 2);
                if (t.LockRecord()) {
                  t.PutRecord(t.record_number());
                  t.Unlock();
                }
              }
            }
          } catch (...) {
            status = 1;
          }
          _exit(status);
        }
        children.push_back(pid);
      }
      for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      }
      dBHandler t(path, "", false, true);
      t.OpenIndexFile(index);
      EXPECT_EQ(t.record_count(), 2 * kEach);
      EXPECT_EQ(t.CheckIndexes(), "");
      t.SelectTag("CODES", false);
      int walked = 0;
      for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) ++walked;
      EXPECT_EQ(walked, 2 * kEach);
    }
  }
}

}  // namespace
}  // namespace dbase
