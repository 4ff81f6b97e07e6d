// Memo files: round trips in the three formats, block reuse (in place, free list with first fit
// and split), ciphered memos, the memo file lock, renaming, and damaged files.
#include "dbf/memo_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <typeinfo>

#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "support/short_lock_retry.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

enum class Format { kDBase3, kDBase4, kFox };

uint8_t VersionOf(Format f) {
  switch (f) {
    case Format::kDBase4:
      return 0x8B;
    case Format::kFox:
      return 0xF5;
    default:
      return 0x83;
  }
}

// A table with one memo field, created by the format's builder (memo file ".dbt" or ".fpt" for a lower-case name).
void MakeTable(Format f, const std::string& path) {
  std::unique_ptr<DBFBuild> b;
  if (f == Format::kDBase4) {
    b = std::make_unique<DB4Build>(path);
  } else if (f == Format::kFox) {
    b = std::make_unique<DBFoxBuild>(path);
  } else {
    b = std::make_unique<DBFBuild>(path);
  }
  b->AddField("NOTAS", 'M', 10, 0);
  b->Build();
}

std::unique_ptr<MemoFile> Open(Format f, const std::string& table, bool read_write = true, bool shared = false,
                               const std::string& password = "") {
  return OpenMemoFile(VersionOf(f), table, read_write, shared, password);
}

// Text without 0x1A, varied so that misplaced bytes show.
std::string Text(size_t n, char seed = 'a') {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + static_cast<char>(i % 23));
  return s;
}

std::string ReadText(MemoFile& m, int64_t block) {
  std::string out;
  m.MemoGet(out, block, m.MemoLength(block));
  return out;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "";
}

std::string LE32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string BE32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
  return s;
}

class MemoFormatTest : public ::testing::TestWithParam<Format> {
 protected:
  TempDir dir_;
  std::string table_ = dir_.File("notas.dbf");
  void SetUp() override { MakeTable(GetParam(), table_); }
};

TEST_P(MemoFormatTest, MemosOfEverySizeRoundTrip) {
  const std::vector<size_t> sizes = {0, 1, 510, 511, 512, 100000};
  std::vector<int32_t> blocks;
  {
    auto m = Open(GetParam(), table_);
    for (size_t n : sizes) {
      int32_t block = m->MemoPut(Text(n), 0);
      EXPECT_EQ(block == 0, n == 0) << n;
      EXPECT_EQ(m->MemoLength(block), static_cast<int32_t>(n));
      EXPECT_EQ(ReadText(*m, block), Text(n)) << n;
      blocks.push_back(block);
    }
  }
  auto reader = Open(GetParam(), table_, false);
  for (size_t i = 0; i < sizes.size(); ++i) {
    EXPECT_EQ(ReadText(*reader, blocks[i]), Text(sizes[i])) << sizes[i];
  }
  // A shorter request gets the start of the memo; a longer one the whole memo.
  std::string out;
  EXPECT_EQ(reader->MemoGet(out, blocks[5], 7), 7);
  EXPECT_EQ(out, Text(7));
  EXPECT_EQ(reader->MemoGet(out, blocks[1], 1000), 1);
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(reader->MemoGet(buffer, 0, 4), 0);
  EXPECT_EQ(buffer[0], 0);
}

TEST_P(MemoFormatTest, CipheredMemosAreReadWithTheCurrentAndWrittenWithTheNewPassword) {
  auto m = Open(GetParam(), table_, true, false, "segredo");
  const int32_t block = m->MemoPut("texto secreto", 0);
  EXPECT_EQ(ReadText(*m, block), "texto secreto");
  EXPECT_EQ(ReadFileBytes(m->file_name()).find("texto secreto"), std::string::npos);

  // Re-encipher as SetPassword does: read with the old password, write a new memo with the new.
  m->SetCipher(true, "segredo", "outra");
  const int32_t moved = m->MemoPut(ReadText(*m, block), 0);
  m->SetCipher(true, "outra", "outra");
  EXPECT_EQ(ReadText(*m, moved), "texto secreto");

  m.reset();
  auto plain = Open(GetParam(), table_);
  EXPECT_NE(ReadText(*plain, moved), "texto secreto");
}

TEST_P(MemoFormatTest, BlockNumbersOutsideTheFileAreRefused) {
  auto m = Open(GetParam(), table_);
  const int32_t block = m->MemoPut("abc", 0);
  const std::string bad = "Memo record is bad in " + m->file_name();
  const int64_t past = std::filesystem::file_size(m->file_name()) / static_cast<uint64_t>(m->block_size());
  for (int64_t b : {past, past + 1, int64_t{0x7FFFFFFF}, int64_t{0x80000000}, int64_t{1} << 40, int64_t{-1}}) {
    EXPECT_EQ(ErrorOf([&] { m->MemoLength(b); }), bad) << b;
    std::string out;
    EXPECT_EQ(ErrorOf([&] { m->MemoGet(out, b, 10); }), bad) << b;
  }
  // Writing over a bad reference gives the text new blocks; the good memo is untouched.
  const int32_t fresh = m->MemoPut("novo", past + 5);
  EXPECT_GE(fresh, past);
  EXPECT_EQ(ReadText(*m, fresh), "novo");
  EXPECT_EQ(ReadText(*m, block), "abc");
}

TEST_P(MemoFormatTest, TheMemoLockIsTakenOnTheProtocolsRangeAndReleased) {
  testsupport::ShortLockRetry short_retry(20, 5);
  auto m = Open(GetParam(), table_, true, true);
  DiskFile other(m->file_name(), true, true);
  other.Open();
  const std::string refused = "Can not Lock file " + m->file_name();

  struct Case {
    int protocol;
    uint64_t other_offset;  // a byte the memo lock covers
  };
  for (Case c : {Case{Default, 0x7FFFFFFD}, Case{FoxLock, 0x7FFFFFFD}, Case{DB4Lock, 0xEFFFFFFF},
                 Case{DB4Lock, 0xEFFFFFFE}, Case{ClipLock, 1000000000}}) {
    m->SetLockProtocol(c.protocol);
    ASSERT_TRUE(other.Lock(c.other_offset, 1));
    EXPECT_EQ(ErrorOf([&] { m->MemoPut("x", 0); }), refused) << c.protocol;
    EXPECT_EQ(m->lock_count(), 0);
    other.Unlock();
    EXPECT_GT(m->MemoPut("x", 0), 0);
    EXPECT_EQ(m->lock_count(), 0);
  }
  m->SetLockProtocol(7);  // unknown: the previous protocol stays
  EXPECT_EQ(m->lock_protocol(), ClipLock);
  ASSERT_TRUE(other.Lock(0x7FFFFFFD, 1));  // not ClipLock's byte
  EXPECT_GT(m->MemoPut("x", 0), 0);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, MemoFormatTest, ::testing::Values(Format::kDBase3, Format::kDBase4, Format::kFox));

TEST(MemoFileTest, OpeningPicksTheFormatAndFindsTheFileWhateverItsCase) {
  TempDir dir;
  MakeTable(Format::kDBase4, dir.File("a.dbf"));  // writes a.dbt
  MakeTable(Format::kFox, dir.File("b.dbf"));     // writes b.fpt
  MakeTable(Format::kDBase3, dir.File("c.dbf"));
  EXPECT_NE(dynamic_cast<MemoFile4*>(OpenMemoFile(0x8B, dir.File("a.dbf"), false, false, "").get()), nullptr);
  EXPECT_NE(dynamic_cast<FoxMemoFile*>(OpenMemoFile(0xF5, dir.File("b.dbf"), false, false, "").get()), nullptr);
  EXPECT_NE(dynamic_cast<FoxMemoFile*>(OpenMemoFile(0x30, " " + dir.File("b.DBF") + " ", false, false, "").get()),
            nullptr);
  auto c = OpenMemoFile(0x83, dir.File("c.dbf"), false, false, "");
  EXPECT_EQ(typeid(*c), typeid(MemoFile));
  EXPECT_EQ(c->file_name(), dir.File("c.dbt"));
  EXPECT_EQ(ErrorOf([&] { OpenMemoFile(0x83, dir.File("d.dbf"), true, false, ""); }),
            "File " + dir.File("d.dbt") + " could not be found");
}

TEST(MemoFileTest, DBase3ReusesBlocksInPlaceWhenTheTextFitsElseAppends) {
  TempDir dir;
  MakeTable(Format::kDBase3, dir.File("t.dbf"));
  auto m = Open(Format::kDBase3, dir.File("t.dbf"));
  const std::string path = m->file_name();

  EXPECT_EQ(m->MemoPut(Text(510), 0), 1);  // 510 + 0x1A 0x1A fill one block
  EXPECT_EQ(m->MemoPut(Text(511), 0), 2);  // 511 need two
  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.substr(0, 4), LE32(4));
  ASSERT_EQ(bytes.size(), 4u * 512);
  EXPECT_EQ(bytes.substr(512, 512), Text(510) + "\x1A\x1A");
  EXPECT_EQ(bytes.substr(1024, 513), Text(511) + "\x1A\x1A");
  EXPECT_EQ(bytes.substr(1537), std::string(511, '\0'));

  EXPECT_EQ(m->MemoPut(Text(300, 'A'), 1), 1);  // fits the old block
  EXPECT_EQ(ReadText(*m, 1), Text(300, 'A'));
  EXPECT_EQ(m->MemoPut(Text(600, 'B'), 1), 4);  // does not: appended, block 1 left as it was
  EXPECT_EQ(m->current_block(), 4);
  EXPECT_EQ(m->block_count(), 2u);
  EXPECT_EQ(ReadFileBytes(path).substr(0, 4), LE32(6));
  EXPECT_EQ(ReadText(*m, 1), Text(300, 'A'));

  // An empty text writes nothing and leaves no memo.
  EXPECT_EQ(m->MemoPut("", 4), 0);
  EXPECT_EQ(ReadText(*m, 4), Text(600, 'B'));
}

TEST(MemoFileTest, DBase3MemoWithoutTerminatorReadsAt65519BytesAtMost) {
  TempDir dir;
  MakeTable(Format::kDBase3, dir.File("t.dbf"));
  std::string bytes = ReadFileBytes(dir.File("t.dbt")).substr(0, 512);
  bytes.replace(0, 4, LE32(200));
  WriteFileBytes(dir.File("t.dbt"), bytes + Text(70000));
  auto m = Open(Format::kDBase3, dir.File("t.dbf"));
  EXPECT_EQ(m->MemoLength(1), 65519);
  EXPECT_EQ(ReadText(*m, 1), Text(70000).substr(0, 65519));
  EXPECT_EQ(m->MemoLength(100), 70000 - 99 * 512);  // runs to the end of the file
}

TEST(MemoFileTest, DBase3PasswordMemosCarryTheirLength) {
  TempDir dir;
  MakeTable(Format::kDBase3, dir.File("t.dbf"));
  auto m = Open(Format::kDBase3, dir.File("t.dbf"), true, false, "pw");
  EXPECT_EQ(m->MemoPut(Text(506), 0), 1);  // 4 + 506 + 2 = 512
  EXPECT_EQ(m->MemoPut(Text(507), 0), 2);
  const std::string bytes = ReadFileBytes(m->file_name());
  EXPECT_EQ(bytes.substr(512, 4), LE32(506));
  EXPECT_EQ(bytes.substr(1022, 2), "\x1A\x1A");
  EXPECT_EQ(bytes.size(), 4u * 512);
  // A length prefix larger than the file is damage.
  std::string damaged = bytes;
  damaged.replace(512, 4, LE32(0xFFFFFFF0));
  WriteFileBytes(m->file_name(), damaged);
  EXPECT_EQ(ErrorOf([&] { m->MemoLength(1); }), "Memo record is bad in " + m->file_name());
}

TEST(MemoFileTest, DBase4FileIsExtendedToOneBlockOnlyWhenWritable) {
  TempDir dir;
  MakeTable(Format::kDBase4, dir.File("t.dbf"));
  const std::string path = dir.File("t.dbt");
  const std::string created = ReadFileBytes(path);
  Open(Format::kDBase4, dir.File("t.dbf"), false);
  EXPECT_EQ(ReadFileBytes(path), created);
  auto m = Open(Format::kDBase4, dir.File("t.dbf"));
  EXPECT_EQ(m->block_size(), 512);
  EXPECT_EQ(ReadFileBytes(path), created + std::string(512 - 24, '\0'));
}

TEST(MemoFileTest, DBase4FreeListFirstFitSplitsLargerRuns) {
  TempDir dir;
  MakeTable(Format::kDBase4, dir.File("t.dbf"));
  auto m = Open(Format::kDBase4, dir.File("t.dbf"));
  const std::string path = m->file_name();
  auto header = [&] { return ReadFileBytes(path).substr(0, 8); };
  auto run_at = [&](int block) { return ReadFileBytes(path).substr(static_cast<size_t>(block) * 512, 8); };

  EXPECT_EQ(m->MemoPut(Text(1000), 0), 1);  // 8 + 1000: two blocks
  EXPECT_EQ(m->MemoPut(Text(100), 0), 3);
  EXPECT_EQ(header(), LE32(4) + LE32(0));
  EXPECT_EQ(run_at(1), std::string("\xFF\xFF\x08\x00", 4) + LE32(1008));

  // Same size: the freed run heads the list and is taken again.
  EXPECT_EQ(m->MemoPut(Text(1000, 'A'), 1), 1);
  EXPECT_EQ(header().substr(0, 4), LE32(4));
  EXPECT_EQ(ReadText(*m, 1), Text(1000, 'A'));

  // Smaller: the run is split and its rest stays on the list.
  EXPECT_EQ(m->MemoPut("curto", 1), 1);
  EXPECT_EQ(header(), LE32(2) + LE32(0));
  EXPECT_EQ(run_at(2), LE32(4) + LE32(1));
  EXPECT_EQ(m->MemoPut("outro", 0), 2);  // exact fit
  EXPECT_EQ(header().substr(0, 4), LE32(4));
  EXPECT_EQ(m->MemoPut(Text(600), 0), 4);  // nothing free: at the end
  EXPECT_EQ(header().substr(0, 4), LE32(6));

  // Emptying a memo frees its run.
  EXPECT_EQ(m->MemoPut("", 4), 0);
  EXPECT_EQ(header(), LE32(4) + LE32(0));
  EXPECT_EQ(run_at(4), LE32(6) + LE32(2));
  EXPECT_EQ(ReadText(*m, 1), "curto");
  EXPECT_EQ(ReadText(*m, 2), "outro");
  EXPECT_EQ(ReadText(*m, 3), Text(100));
  EXPECT_EQ(ErrorOf([&] { m->MemoLength(4); }), "Memo record is bad in " + path);
}

// A dBase IV memo file of `blocks` 512-byte blocks with the given first free block.
std::string DBase4File(uint32_t first_free, uint32_t block_size, int blocks) {
  std::string f(static_cast<size_t>(blocks) * 512, '\0');
  f.replace(0, 4, LE32(first_free));
  f.replace(20, 4, LE32(block_size));
  return f;
}

TEST(MemoFileTest, DamagedDBase4FilesEndInTheMemoError) {
  TempDir dir;
  const std::string table = dir.File("t.dbf");
  const std::string path = dir.File("t.dbt");
  const std::string bad = "Memo record is bad in " + path;

  for (uint32_t size : {0u, 7u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    WriteFileBytes(path, DBase4File(1, size, 1));
    EXPECT_EQ(ErrorOf([&] { Open(Format::kDBase4, table); }), bad) << size;
  }
  WriteFileBytes(path, "");
  EXPECT_EQ(ErrorOf([&] { Open(Format::kDBase4, table); }), bad);

  // A free list that loops: blocks 1 and 2 point at each other; block 3 holds a memo.
  std::string looped = DBase4File(1, 512, 4);
  looped.replace(512, 8, LE32(2) + LE32(1));
  looped.replace(1024, 8, LE32(1) + LE32(1));
  looped.replace(1536, 13, std::string("\xFF\xFF\x08\x00", 4) + LE32(13) + "hello");
  WriteFileBytes(path, looped);
  {
    auto m = Open(Format::kDBase4, table);
    EXPECT_EQ(ErrorOf([&] { m->MemoPut(Text(2000), 0); }), bad);
    EXPECT_EQ(ErrorOf([&] { m->MemoPut(Text(2000), 3); }), bad);
    EXPECT_EQ(ReadText(*m, 3), "hello");  // the old memo was not given up
  }

  // Stored lengths beyond the file; a block that is not a memo.
  std::string huge = DBase4File(2, 512, 2);
  huge.replace(512, 8, std::string("\xFF\xFF\x08\x00", 4) + LE32(0xFFFFFFFF));
  WriteFileBytes(path, huge);
  {
    auto m = Open(Format::kDBase4, table);
    EXPECT_EQ(ErrorOf([&] { m->MemoLength(1); }), bad);
    std::string out;
    EXPECT_EQ(ErrorOf([&] { m->MemoGet(out, 1, 0x7FFFFFFF); }), bad);
  }
  std::string small = DBase4File(2, 512, 2);
  small.replace(512, 8, std::string("\xFF\xFF\x08\x00", 4) + LE32(3));  // shorter than its header
  WriteFileBytes(path, small);
  EXPECT_EQ(ErrorOf([&] { Open(Format::kDBase4, table)->MemoLength(1); }), bad);
  std::string freed = DBase4File(1, 512, 2);
  freed.replace(512, 8, LE32(2) + LE32(1));
  WriteFileBytes(path, freed);
  EXPECT_EQ(ErrorOf([&] { Open(Format::kDBase4, table)->MemoLength(1); }), bad);
}

TEST(MemoFileTest, FoxProReusesInPlaceAcceptsTypeZeroAndRefusesOtherTypes) {
  TempDir dir;
  MakeTable(Format::kFox, dir.File("t.dbf"));
  auto m = Open(Format::kFox, dir.File("t.dbf"));
  const std::string path = m->file_name();
  EXPECT_EQ(m->block_size(), 64);
  EXPECT_EQ(m->MemoPut("0123456789", 0), 8);
  std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 576u);
  EXPECT_EQ(bytes.substr(0, 4), BE32(9));
  EXPECT_EQ(bytes.substr(6, 2), std::string("\x00\x40", 2));
  EXPECT_EQ(bytes.substr(512), BE32(1) + BE32(10) + "0123456789" + std::string(46, '\0'));

  EXPECT_EQ(m->MemoPut(Text(56), 8), 8);   // 8 + 56 still one block
  EXPECT_EQ(m->MemoPut(Text(57), 8), 9);   // two blocks: appended
  EXPECT_EQ(ReadFileBytes(path).substr(0, 4), BE32(11));
  EXPECT_EQ(ReadText(*m, 8), Text(56));

  bytes = ReadFileBytes(path);
  bytes.replace(512, 11, BE32(0) + BE32(3) + "abc");
  WriteFileBytes(path, bytes);
  EXPECT_EQ(ReadText(*m, 8), "abc");
  bytes.replace(512, 4, BE32(2));
  WriteFileBytes(path, bytes);
  EXPECT_EQ(ErrorOf([&] { m->MemoLength(8); }), "Memo record is bad in " + path);
  // Blocks inside the 512-byte file header are not memos.
  EXPECT_EQ(ErrorOf([&] { m->MemoLength(3); }), "Memo record is bad in " + path);
}

TEST(MemoFileTest, DamagedFoxProHeadersNeitherDivideByZeroNorGrowTheFile) {
  TempDir dir;
  const std::string table = dir.File("t.dbf");
  const std::string path = dir.File("t.fpt");
  WriteFileBytes(path, std::string(512, '\0'));
  EXPECT_EQ(ErrorOf([&] { Open(Format::kFox, table); }), "Memo record is bad in " + path);
  WriteFileBytes(path, "");
  EXPECT_EQ(ErrorOf([&] { Open(Format::kFox, table); }), "Memo record is bad in " + path);

  std::string header(512, '\0');
  header.replace(0, 4, BE32(0x7FFFFFF0));  // next free far beyond the file
  header[7] = 64;
  header += BE32(1) + BE32(0x7FFFFFF0) + "x";  // a stored length beyond the file
  header.resize(576, '\0');
  WriteFileBytes(path, header);
  auto m = Open(Format::kFox, table);
  EXPECT_EQ(ErrorOf([&] { m->MemoLength(8); }), "Memo record is bad in " + path);
  EXPECT_EQ(m->MemoPut("novo", 8), 9);  // neither reused nor written far away
  EXPECT_EQ(std::filesystem::file_size(path), 640u);
  EXPECT_EQ(ReadText(*m, 9), "novo");
}

TEST(MemoFileTest, DBase3NextFreeBlockInsideTheHeaderIsNotWrittenOver) {
  TempDir dir;
  MakeTable(Format::kDBase3, dir.File("t.dbf"));
  std::string bytes = ReadFileBytes(dir.File("t.dbt"));
  bytes.replace(0, 4, LE32(0));
  WriteFileBytes(dir.File("t.dbt"), bytes);
  auto m = Open(Format::kDBase3, dir.File("t.dbf"));
  const int32_t block = m->MemoPut("texto", 0);
  EXPECT_GE(block, 1);
  EXPECT_EQ(ReadFileBytes(dir.File("t.dbt")).substr(4, 12), bytes.substr(4, 12));  // the name
  EXPECT_EQ(ReadText(*m, block), "texto");
}

TEST(MemoFileTest, RenameWithTableKeepsTheExtensionAndWritesTheNameIntoDBaseHeaders) {
  TempDir dir;
  MakeTable(Format::kDBase4, dir.File("antigo.dbf"));
  MakeTable(Format::kFox, dir.File("velho.dbf"));
  auto db4 = Open(Format::kDBase4, dir.File("antigo.dbf"));
  const int32_t block = db4->MemoPut("conteudo", 0);
  EXPECT_TRUE(db4->RenameWithTable(dir.File("nome_muito_longo.dbf")));
  EXPECT_EQ(db4->file_name(), dir.File("nome_muito_longo.dbt"));
  std::string bytes = ReadFileBytes(dir.File("nome_muito_longo.dbt"));
  EXPECT_EQ(bytes.substr(8, 12), std::string("nome_mui\0\0\x02\x01", 12));
  EXPECT_EQ(bytes.substr(20, 4), LE32(512));
  EXPECT_EQ(ReadText(*db4, block), "conteudo");
  EXPECT_FALSE(std::filesystem::exists(dir.File("antigo.dbt")));

  auto fox = Open(Format::kFox, dir.File("velho.dbf"));
  const std::string before = ReadFileBytes(fox->file_name());
  EXPECT_TRUE(fox->RenameWithTable(dir.File("novo.dbf")));
  EXPECT_EQ(ReadFileBytes(dir.File("novo.fpt")), before);
}

}  // namespace
}  // namespace dbase
