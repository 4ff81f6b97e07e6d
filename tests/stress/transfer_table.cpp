// The account table of the transfer stress test: creation, records and memos derived from their
// values, and the checks that tell a whole record and an intact memo.
#include "stress/transfer_table.h"

#include <cstdio>
#include <memory>
#include <random>

#include "dbf/byte_order.h"
#include "dbf/dbf_build.h"

namespace stress {

namespace {

uint32_t Fnv1a(const uint8_t* p, size_t n, uint32_t h = 2166136261u) {
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 16777619u;
  }
  return h;
}

uint32_t Fnv1a(const std::string& s, uint32_t h = 2166136261u) {
  return Fnv1a(reinterpret_cast<const uint8_t*>(s.data()), s.size(), h);
}

std::string Hex8(uint32_t v) {
  char out[9];
  std::snprintf(out, sizeof out, "%08X", v);
  return out;
}

}  // namespace

const char* MemoFormatName(MemoFormat format) {
  switch (format) {
    case MemoFormat::kDb3:
      return "dBase III memo";
    case MemoFormat::kDb4:
      return "dBase IV memo";
    case MemoFormat::kFox:
      return "FoxPro memo";
  }
  return "?";
}

void CreateAccountTable(const std::string& path, MemoFormat format, int accounts, int64_t balance) {
  {
    std::unique_ptr<dbase::DBFBuild> builder;
    if (format == MemoFormat::kDb4) {
      builder = std::make_unique<dbase::DB4Build>(path);
    } else if (format == MemoFormat::kFox) {
      builder = std::make_unique<dbase::DBFoxBuild>(path);
    } else {
      builder = std::make_unique<dbase::DBFBuild>(path);
    }
    builder->AddField("ID", 'C', 12, 0);
    builder->AddField("BALANCE", 'N', 12, 0);
    builder->AddField("VERSION", 'N', 8, 0);
    builder->AddField("NOTE", 'M', 10, 0);
    builder->AddField("CHECK", 'C', 8, 0);
    builder->Build();
  }
  AccountTable t(path, dbase::Default, false);
  for (int i = 1; i <= accounts; ++i) {
    t.Blank();
    t.Fill("INIT-" + std::to_string(i), balance, 0);
    t.Append();
  }
}

std::string MemoText(const std::string& id, int64_t balance, int64_t version) {
  const std::string key = id + "|" + std::to_string(balance) + "|" + std::to_string(version);
  const uint32_t seed = Fnv1a(key);
  std::mt19937 gen(seed);
  // Mostly short texts, some of several blocks (512-byte dBase blocks, 64-byte FoxPro blocks).
  const size_t length = gen() % 4 == 0 ? 500 + gen() % 1400 : 10 + gen() % 300;
  std::string filler;
  filler.reserve(length);
  for (size_t i = 0; i < length; ++i) filler.push_back(static_cast<char>('a' + gen() % 26));
  return key + "|" + Hex8(Fnv1a(filler)) + "\r\n" + filler;
}

std::string RecordCheck(const uint8_t* record, int check_offset) {
  return Hex8(Fnv1a(record + 1, static_cast<size_t>(check_offset - 1)));
}

AccountTable::AccountTable(const std::string& path, int protocol, bool indexed_locks)
    : dBHandler(path, "", true, true), indexed_locks_(indexed_locks) {
  SetLockProtocol(protocol);
}

void AccountTable::Fill(const std::string& id, int64_t balance, int64_t version) {
  FieldPut(kId, id);
  NumberPut(kBalance, static_cast<long double>(balance));
  NumberPut(kVersion, static_cast<long double>(version));
  MemoWrite(kNote, MemoText(id, balance, version));
  FieldPut(kCheck, RecordCheck(record(), FieldOffset(kCheck)));
}

bool AccountTable::Whole(std::string* why) const {
  const std::string stored = FieldGet(kCheck);
  const std::string expected = RecordCheck(record(), FieldOffset(kCheck));
  if (record()[0] != ' ') {
    *why = "deletion flag " + std::to_string(record()[0]);
    return false;
  }
  if (stored != expected) {
    *why = "check " + stored + " but fields give " + expected + ": [" +
           std::string(reinterpret_cast<const char*>(record()), static_cast<size_t>(record_length())) + "]";
    return false;
  }
  return true;
}

bool AccountTable::MemoIntact(std::string* why) {
  const std::string expected = MemoText(Id(), Balance(), Version());
  std::string got;
  try {
    got = MemoRead(kNote);
  } catch (const std::exception& e) {
    *why = std::string("memo read failed: ") + e.what();
    return false;
  }
  if (got != expected) {
    *why = "memo of " + Id() + " reads " + std::to_string(got.size()) + " bytes [" + got.substr(0, 40) +
           "...], expected " + std::to_string(expected.size()) + " bytes [" + expected.substr(0, 40) + "...]";
    return false;
  }
  return true;
}

std::string AccountTable::Id() const {
  std::string id = FieldGet(kId);
  while (!id.empty() && id.back() == ' ') id.pop_back();
  return id;
}

int64_t AccountTable::Balance() const { return static_cast<int64_t>(NumberGet(kBalance)); }

int64_t AccountTable::Version() const { return static_cast<int64_t>(NumberGet(kVersion)); }

int64_t AccountTable::HeaderCount() const { return dbase::GetLE32(&header()[4]); }

}  // namespace stress
