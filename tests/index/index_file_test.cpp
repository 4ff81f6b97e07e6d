// Index files as a whole: two writers sharing a table and its index under every lock protocol,
// the lock region of each protocol, blocks enciphered with the table, rebuilding, replacing and
// deleting tags, renaming, and the production-index mark.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "dbf/disk_file.h"
#include "index/index_check.h"
#include "index/open_index.h"
#include "index_fixtures.h"
#include "index_test_table.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

const std::vector<std::string> kFormats = {".ntx", ".ndx", ".mdx", ".cdx"};

std::string CodeTable(const testsupport::TempDir& dir, int count, const std::string& name = "T.DBF") {
  std::vector<std::string> records;
  for (int n = 1; n <= count; ++n) {
    std::string code = "K" + std::to_string((n * 7919) % 997);
    code.resize(10, ' ');
    records.push_back(" " + code);
  }
  const std::string path = dir.File(name);
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, {{"CODE", 'C', 10}}, records));
  return path;
}

TagDefinition Code(const std::string& name = "CODE") { return TagDefinition{name, "CODE", "", false, false}; }

// Lock attempts are not retried while these tests expect refusals.
class NoLockRetry {
 public:
  NoLockRetry() : saved_(GlobalLockRetry()) { GlobalLockRetry() = LockRetry{0, 50}; }
  ~NoLockRetry() { GlobalLockRetry() = saved_; }

 private:
  LockRetry saved_;
};

TEST(IndexFileTest, TwoWritersOfASharedTableLoseNoKey) {
  for (const std::string& ext : kFormats) {
    for (int protocol = 0; protocol <= 3; ++protocol) {
      SCOPED_TRACE(ext + " protocol " + std::to_string(protocol));
      testsupport::TempDir dir;
      const std::string table_path = CodeTable(dir, 20);
      const std::string index_path = dir.File("T" + ext);
      {
        TestTable t(table_path);
        CreateIndex(t, index_path)->DefineTag(Code());
      }
      {
        TestTable a(table_path, true, true);
        TestTable b(table_path, true, true);
        a.SetLockProtocol(protocol);
        b.SetLockProtocol(protocol);
        auto fa = OpenIndex(a, index_path);
        auto fb = OpenIndex(b, index_path);
        a.attached.push_back(fa.get());
        b.attached.push_back(fb.get());
        std::mt19937 rng(static_cast<unsigned>(protocol));
        for (int op = 0; op < 300; ++op) {
          TestTable& t = rng() % 2 ? a : b;
          std::string code = "N" + std::to_string(rng() % 500);
          if (rng() % 3 == 0) {
            t.GetRecord(1 + static_cast<int32_t>(rng() % 20));
            t.FieldPutByName("CODE", code);
            t.PutRecord(t.record_number());
          } else {
            t.Blank();
            t.FieldPutByName("CODE", code);
            t.Append();
          }
        }
        // Each writer's index object agrees with the table as it now is.
        a.ReReadHeader();
        b.ReReadHeader();
        EXPECT_EQ(CheckIndexFile(*fa), "");
        EXPECT_EQ(CheckIndexFile(*fb), "");
      }
      TestTable fresh(table_path);
      auto file = OpenIndex(fresh, index_path);
      EXPECT_EQ(CheckIndexFile(*file), "");
      const std::string dump = DumpTag(*file->tag(0));
      EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), fresh.record_count());
    }
  }
}

TEST(IndexFileTest, TheIndexLockTakesTheRegionOfTheProtocol) {
  struct Region {
    int protocol;
    uint64_t offset;
    uint64_t length;
  };
  const std::vector<Region> regions = {{0, 0x7FFFFFFD, 1}, {1, 0xEFFFFFFE, 2}, {2, 1000000000, 1}, {3, 0x7FFFFFFD, 1}};
  NoLockRetry no_retry;
  for (const Region& r : regions) {
    SCOPED_TRACE(r.protocol);
    testsupport::TempDir dir;
    const std::string table_path = CodeTable(dir, 5);
    {
      TestTable t(table_path);
      CreateIndex(t, dir.File("T.ntx"))->DefineTag(Code());
    }
    TestTable a(table_path, true, true);
    TestTable b(table_path, true, true);
    a.SetLockProtocol(r.protocol);
    b.SetLockProtocol(r.protocol);
    auto fa = OpenIndex(a, dir.File("T.ntx"));
    auto fb = OpenIndex(b, dir.File("T.ntx"));
    ASSERT_TRUE(fa->Lock());
    EXPECT_FALSE(fb->Lock());
    EXPECT_THROW(fb->LockOrRaise(), EngineError);
    DiskFile other(dir.File("T.ntx"), false, true);
    other.Open();
    EXPECT_FALSE(other.Lock(r.offset + r.length - 1, 1));
    EXPECT_TRUE(other.Lock(r.offset + r.length, 1));
    other.Unlock();
    fa->Unlock();
    EXPECT_TRUE(fb->Lock());
    fb->Unlock();
  }
}

TEST(IndexFileTest, EncipheredTablesEncipherTheirIndexBlocks) {
  for (const std::string& ext : kFormats) {
    SCOPED_TRACE(ext);
    testsupport::TempDir dir;
    TestTable table(CodeTable(dir, 300), true, false);
    const std::string plain_dump = DumpTag(*CreateIndex(table, dir.File("PLAIN" + ext))->DefineTag(Code()));
    table.cipher_password = "segredo";
    CreateIndex(table, dir.File("SECRET" + ext))->DefineTag(Code());
    const std::string plain = testsupport::ReadFileBytes(dir.File("PLAIN" + ext));
    const std::string secret = testsupport::ReadFileBytes(dir.File("SECRET" + ext));
    ASSERT_EQ(plain.size(), secret.size());
    EXPECT_EQ(secret.find("CODE"), std::string::npos);
    auto file = OpenIndex(table, dir.File("SECRET" + ext));
    EXPECT_EQ(DumpTag(*file->tag(0)), plain_dump);
    EXPECT_EQ(CheckIndexFile(*file), "");
    // A new password: the file is re-keyed piece by piece.
    file->Recrypt([](uint8_t* b, size_t n) { CipherInPlace("segredo", b, n); },
                  [](uint8_t* b, size_t n) { CipherInPlace("outro", b, n); });
    table.cipher_password = "outro";
    file.reset();
    file = OpenIndex(table, dir.File("SECRET" + ext));
    EXPECT_EQ(DumpTag(*file->tag(0)), plain_dump);
    file->Recrypt([](uint8_t* b, size_t n) { CipherInPlace("outro", b, n); }, nullptr);
    table.cipher_password.clear();
    file.reset();
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File("SECRET" + ext)), plain);
  }
}

TEST(IndexFileTest, ReindexRebuildsFromTheTable) {
  for (const std::string& ext : kFormats) {
    SCOPED_TRACE(ext);
    testsupport::TempDir dir;
    const std::string table_path = CodeTable(dir, 400);
    TestTable table(table_path, true, false);
    auto file = CreateIndex(table, dir.File("T" + ext));
    IndexTag* tag = file->DefineTag(Code());
    // The table changes behind the index's back.
    for (int32_t r = 1; r <= 400; r += 3) {
      table.GetRecord(r);
      table.FieldPutByName("CODE", "X" + std::to_string(r));
      table.PutRecord(r);
    }
    EXPECT_NE(CheckIndexFile(*file), "");
    file->Reindex();
    EXPECT_EQ(CheckIndexFile(*file), "");
    auto fresh = CreateIndex(table, dir.File("FRESH" + ext));
    EXPECT_EQ(DumpTag(*file->tag(0)), DumpTag(*fresh->DefineTag(Code())));
    (void)tag;
  }
}

TEST(IndexFileTest, MultiTagFilesReplaceDeleteAndRenameTags) {
  for (const std::string& ext : {std::string(".mdx"), std::string(".cdx")}) {
    SCOPED_TRACE(ext);
    testsupport::TempDir dir;
    const std::string table_path = CodeTable(dir, 200, "STOCK.DBF");
    TestTable table(table_path, true, false);
    const std::string path = dir.File("TAGS" + ext);
    {
      auto file = CreateIndex(table, path);
      EXPECT_FALSE(table.production_marked);
      file->DefineTag(Code("B"));
      file->DefineTag(TagDefinition{"a", "CODE", "", true, false});
      file->DefineTag(TagDefinition{"C", "CODE", "", false, true});
      file->DefineTag(TagDefinition{"b", "SUBSTR(CODE,2,3)", "", false, false});  // replaces B
      EXPECT_EQ(file->tag_count(), 3);
    }
    {
      auto file = OpenIndex(table, path);
      ASSERT_EQ(file->tag_count(), 3);
      EXPECT_EQ(file->FindTag("B")->key_expression(), "SUBSTR(CODE,2,3)");
      EXPECT_TRUE(file->FindTag("A")->unique());
      EXPECT_TRUE(file->FindTag("c")->descending());
      EXPECT_EQ(CheckIndexFile(*file), "");
      file->DeleteTag("A");
      EXPECT_THROW(file->DeleteTag("A"), EngineError);
    }
    {
      auto file = OpenIndex(table, path);
      EXPECT_EQ(file->tag_count(), 2);
      EXPECT_EQ(file->FindTag("A"), nullptr);
      EXPECT_EQ(CheckIndexFile(*file), "");
      file->DeleteTag("B");
      file->DeleteTag("C");
      EXPECT_EQ(file->tag_count(), 0);
    }
    EXPECT_EQ(std::filesystem::file_size(path), ext == ".mdx" ? 2048u : 1536u);
    // A file with the table's name is its production index.
    CreateIndex(table, dir.File("stock" + ext))->DefineTag(Code());
    EXPECT_TRUE(table.production_marked);
    table.production_marked = false;
  }
  testsupport::TempDir dir;
  TestTable table(CodeTable(dir, 10), true, false);
  auto file = CreateIndex(table, dir.File("T.mdx"));
  file->DefineTag(Code());
  ASSERT_TRUE(file->Rename(dir.File("newname.dbf")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("newname.mdx")));
  file.reset();
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("newname.mdx")).substr(4, 9), std::string("NEWNAME\0\0", 9));
}

}  // namespace
}  // namespace dbase::testing_index
