// Two handles sharing a table, with the second one's append let in at the worst moment of the
// first one's write: after a replace, after a held-back header under a table lock, and during an
// append made while a record is locked. The header's count must stay the file's and no append that
// reported success may be lost; the second writer waits instead.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "dbf/byte_order.h"
#include "dbf/dbase_fld.h"
#include "dbf/errors.h"
#include "support/short_lock_retry.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RawField;

// A handle that runs `meanwhile` once, just before the first write `when` picks.
class InterleavedTable : public dBaseFld {
 public:
  using dBaseFld::dBaseFld;
  std::function<bool(uint64_t offset)> when;
  std::function<void()> meanwhile;

  void Write(uint64_t offset, const void* buffer, size_t length) override {
    if (meanwhile && when(offset)) {
      std::function<void()> run = std::move(meanwhile);
      meanwhile = nullptr;
      run();
    }
    dBaseFld::Write(offset, buffer, length);
  }
};

struct Interleaving {
  const char* name;
  // Performs the first writer's operation on `t`, arming `t.meanwhile` at the right write.
  std::function<void(InterleavedTable& t, std::function<void()> other)> run;
  std::string own_code;  // the record the first writer leaves, found by its code
};

std::vector<Interleaving> Interleavings() {
  return {
      {"replace, then its header", [](InterleavedTable& t, std::function<void()> other) {
         t.GetRecord(2);
         ASSERT_TRUE(t.LockRecord());
         t.FieldPut(1, "EDITED");
         t.when = [](uint64_t offset) { return offset == 0; };
         t.meanwhile = std::move(other);
         t.PutRecord(2);
         t.Unlock();
       }, "EDITED"},
      {"header held back by a table lock", [](InterleavedTable& t, std::function<void()> other) {
         ASSERT_TRUE(t.LockTable());
         t.Blank();
         t.FieldPut(1, "LOCKED");
         t.Append();
         t.when = [](uint64_t offset) { return offset == 0; };
         t.meanwhile = std::move(other);
         t.Unlock();
       }, "LOCKED"},
      {"append while a record is locked", [](InterleavedTable& t, std::function<void()> other) {
         t.GetRecord(1);
         ASSERT_TRUE(t.LockRecord());
         t.Blank();
         t.FieldPut(1, "EDITING");
         const auto records_from = static_cast<uint64_t>(t.header_length());
         t.when = [records_from](uint64_t offset) { return offset >= records_from; };
         t.meanwhile = std::move(other);
         t.Append();
         t.Unlock();
       }, "EDITING"},
  };
}

TEST(SharedHeaderTest, AnotherWritersAppendNeverUndoesTheCountNorTakesTheSamePlace) {
  // The second writer waits briefly for the first one, then gives up.
  testsupport::ShortLockRetry short_wait(200, 10);
  const std::vector<RawField> fields = {{"CODIGO", 'C', 10}};
  for (int protocol : {Default, DB4Lock, ClipLock, FoxLock}) {
    for (const Interleaving& c : Interleavings()) {
      SCOPED_TRACE(std::string(c.name) + ", protocol " + std::to_string(protocol));
      testsupport::TempDir dir;
      const std::string path = dir.File("SHARED.DBF");
      testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, fields, {" ONE       ", " TWO       ", " THREE     "}));

      bool other_appended = false;
      std::string other_refusal;
      {
        InterleavedTable t(path, "", true, true);
        dBaseFld other(path, "", true, true);
        t.SetLockProtocol(protocol);
        other.SetLockProtocol(protocol);
        auto other_appends = [&] {
          other.Blank();
          other.FieldPut(1, "OTHER");
          try {
            other.Append();
            other_appended = true;
          } catch (const EngineError& e) {
            other_refusal = e.what();
          }
        };
        c.run(t, other_appends);
        ASSERT_FALSE(t.meanwhile) << "the interleaving never happened";
        if (!other_appended) {
          EXPECT_EQ(other_refusal, "Can not Lock file " + path);
          // Let go by now: the second writer gets in at once.
          other.Blank();
          other.FieldPut(1, "LATER");
          other.Append();
        }
      }

      const std::string bytes = testsupport::ReadFileBytes(path);
      const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
      const int64_t header = GetLE16(b + 8), length = GetLE16(b + 10);
      const int64_t records = (static_cast<int64_t>(bytes.size()) - header) / length;
      EXPECT_EQ(GetLE32(b + 4), records) << "the header's count is not the file's";
      EXPECT_EQ(static_cast<int64_t>(bytes.size()), header + records * length + 1);

      std::set<std::string> codes;
      dBaseFld check(path, "", false, false);
      for (check.GetRecord(kFirst); !check.eof(); check.GetRecord(kNext)) codes.insert(check.StringGet(1));
      EXPECT_TRUE(codes.count(c.own_code)) << "the first writer's record is gone";
      EXPECT_TRUE(codes.count(other_appended ? "OTHER" : "LATER")) << "the second writer's append is gone";
    }
  }
}

}  // namespace
}  // namespace dbase
