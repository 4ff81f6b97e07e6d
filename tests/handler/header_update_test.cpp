// The table header as a record write leaves it: date, count, encryption byte, change stamp and
// user identifier set, flag bits 0-2 kept and the others cleared, every reserved byte as found;
// and the write held back while the whole table is locked, made when the last lock goes.
#include <gtest/gtest.h>

#include <sys/time.h>

#include <ctime>
#include <string>

#include "handler/db_handler.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;

const std::vector<testsupport::RawField> kFields = {{"CODIGO", 'C', 20}, {"ESTOQUE", 'N', 6}};

uint32_t LE32At(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
  return v;
}

// Milliseconds since local midnight, and the header's date bytes for today.
int64_t LocalMsOfDay(std::string* ymd = nullptr) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm local{};
  const time_t secs = tv.tv_sec;
  localtime_r(&secs, &local);
  if (ymd) *ymd = {static_cast<char>(local.tm_year), static_cast<char>(local.tm_mon + 1), static_cast<char>(local.tm_mday)};
  return ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000LL + tv.tv_usec / 1000;
}

// The time of day a change stamp ((h*64+m)*64+s)*1024+ms stands for, in milliseconds.
int64_t StampMsOfDay(uint32_t stamp) {
  const int64_t ms = stamp & 1023, s = (stamp >> 10) & 63, m = (stamp >> 16) & 63, h = stamp >> 22;
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

class HeaderUpdateTest : public ::testing::Test {
 protected:
  // A table whose reserved header bytes and flag byte hold values no writer would choose.
  std::string Make() {
    std::string bytes = testsupport::TableBytes(0x03, kFields, {" " + std::string(20, 'a') + "     1"});
    bytes.replace(12, 3, "\xA1\xA2\xA3");
    bytes.replace(16, 8, std::string(8, '\x77'));  // an older stamp and user
    bytes.replace(24, 4, "\xB1\xB2\xB3\xB4");
    bytes[28] = '\xFF';
    bytes.replace(29, 3, "\xC1\xC2\xC3");
    testsupport::WriteFileBytes(path_, bytes);
    return bytes;
  }
  // Checks the header written between `before` and `after` (ms of the day) against `found`.
  void ExpectUpdated(const std::string& found, uint32_t count, uint32_t user, char encrypted, int64_t before,
                     int64_t after, const std::string& today) {
    const std::string h = ReadFileBytes(path_).substr(0, 32);
    EXPECT_EQ(h[0], found[0]);
    EXPECT_EQ(h.substr(1, 3), today);
    EXPECT_EQ(LE32At(h, 4), count);
    EXPECT_EQ(h.substr(8, 4), found.substr(8, 4));
    EXPECT_EQ(h.substr(12, 3), "\xA1\xA2\xA3");
    EXPECT_EQ(h[15], encrypted);
    const int64_t stamp = StampMsOfDay(LE32At(h, 16));
    if (before <= after) {  // not across midnight
      EXPECT_GE(stamp, before);
      EXPECT_LE(stamp, after);
    }
    EXPECT_EQ(LE32At(h, 20), user);
    EXPECT_EQ(h.substr(24, 4), "\xB1\xB2\xB3\xB4");
    EXPECT_EQ(static_cast<uint8_t>(h[28]), 0x07);  // bits 0-2 as found, the others cleared
    EXPECT_EQ(h.substr(29, 3), "\xC1\xC2\xC3");
  }

  TempDir dir_;
  std::string path_ = dir_.File("CONTAGEM.DBF");
};

TEST_F(HeaderUpdateTest, AppendAndReplaceSetTheirFieldsAndKeepTheReservedBytes) {
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared" : "exclusive");
    const std::string found = Make();
    std::string today;
    const int64_t before = LocalMsOfDay(&today);
    {
      dBHandler t(path_, "", true, shared);
      t.set_user_id(0x01020304);
      t.Blank();
      t.StringPut(1, "novo");
      t.Append();
      // Shared, others read the header between writes: it is written at once. Exclusive, it is
      // written when the table is closed.
      if (shared) ExpectUpdated(found, 2, 0x01020304, 0, before, LocalMsOfDay(), today);
      t.GetRecord(1);
      t.StringPut(1, "trocado");
      t.set_user_id(-2);
      t.PutRecord(1);
    }
    ExpectUpdated(found, 2, 0xFFFFFFFE, 0, before, LocalMsOfDay(), today);
  }

  // An enciphered table writes 1 into byte 15.
  Make();
  {
    dBHandler t(path_, "", true, false);
    t.SetPassword("segredo");
  }
  std::string today;
  const int64_t before = LocalMsOfDay(&today);
  {
    dBHandler t(path_, "segredo", true, true);
    t.Blank();
    t.Append();
  }
  const std::string h = ReadFileBytes(path_);
  EXPECT_EQ(h[15], '\x01');
  EXPECT_EQ(LE32At(h, 4), 2u);
  EXPECT_GE(StampMsOfDay(LE32At(h, 16)), before);
}

TEST_F(HeaderUpdateTest, TheHeaderWaitsWhileTheWholeTableIsLocked) {
  for (bool all : {false, true}) {
    SCOPED_TRACE(all ? "LockAll" : "LockTable");
    const std::string found = Make();
    std::string today;
    const int64_t before = LocalMsOfDay(&today);
    dBHandler t(path_, "", true, true);
    ASSERT_TRUE(all ? t.LockAll() : t.LockTable());
    for (const char* code : {"um", "dois"}) {
      t.Blank();
      t.StringPut(1, code);
      t.Append();
    }
    t.GetRecord(1);
    ASSERT_TRUE(t.LockRecord());  // inside the table lock: one more count
    t.StringPut(1, "trocado");
    t.PutRecord(1);
    EXPECT_EQ(t.record_count(), 3);
    EXPECT_EQ(ReadFileBytes(path_).substr(0, 32), found.substr(0, 32));  // records written, header not
    EXPECT_EQ(ReadFileBytes(path_).size(), found.size() + 2 * 27);
    ASSERT_TRUE(t.Unlock());
    EXPECT_TRUE(t.table_locked());
    EXPECT_EQ(ReadFileBytes(path_).substr(0, 32), found.substr(0, 32));
    ASSERT_TRUE(t.Unlock());  // the last lock: now the header
    EXPECT_FALSE(t.table_locked());
    ExpectUpdated(found, 3, 0, 0, before, LocalMsOfDay(), today);

    // A table closed with its lock still held writes the held-back header as it goes.
    Make();
    dBHandler u(path_, "", true, true);
    ASSERT_TRUE(all ? u.LockAll() : u.LockTable());
    u.Blank();
    u.Append();
    u.Close();
    EXPECT_EQ(LE32At(ReadFileBytes(path_), 4), 2u);
  }
}

}  // namespace
}  // namespace dbase
