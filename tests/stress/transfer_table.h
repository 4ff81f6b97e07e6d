// The account table of the transfer stress test: its fields, how a record and its memo are
// derived from (id, balance, version) so that any reader can tell a whole record from a torn one,
// and the table class the workers use.
#pragma once

#include <cstdint>
#include <string>

#include "handler/db_handler.h"

namespace stress {

// Memo formats the table can be created with.
enum class MemoFormat { kDb3, kDb4, kFox };

const char* MemoFormatName(MemoFormat format);

// Field numbers of the account table: ID C 12, BALANCE N 12, VERSION N 8, NOTE M, CHECK C 8.
constexpr int kId = 1;
constexpr int kBalance = 2;
constexpr int kVersion = 3;
constexpr int kNote = 4;
constexpr int kCheck = 5;

// Creates the table (replacing any) in the dialect of `format`, with `accounts` records of
// `balance` each, ids "INIT-1" ... and version 0.
void CreateAccountTable(const std::string& path, MemoFormat format, int accounts, int64_t balance);

// The memo text an account record carries: a first line naming the record and the text's own
// checksum, then filler drawn from a generator seeded by the three values. Lengths vary from a
// few bytes to a few blocks, so memos are rewritten in place, moved, and freed.
std::string MemoText(const std::string& id, int64_t balance, int64_t version);

// A table handler opened shared for reading and writing, as a program sharing the table would.
class AccountTable : public dbase::dBHandler {
 public:
  // `indexed_locks`: lock records as a program with index files open does (Default and FoxLock
  // then lock 0x7FFFFFFE - r instead of an offset derived from the record's position).
  AccountTable(const std::string& path, int protocol, bool indexed_locks);

  // Makes `record` current without reading it, so that it can be locked before it is read.
  void PositionAt(int32_t record) { SetRecordNumber(record); }
  bool HasIndexes() override { return indexed_locks_; }

  // Fills the record buffer: the fields, a new memo for them and the check over it all.
  void Fill(const std::string& id, int64_t balance, int64_t version);
  // Whether the record buffer holds a whole record (its check matches its fields); `why` says
  // what is wrong otherwise.
  bool Whole(std::string* why) const;
  // Whether the current record's memo is the text its fields call for.
  bool MemoIntact(std::string* why);

  std::string Id() const;
  int64_t Balance() const;
  int64_t Version() const;
  // The record count written in the header image last read (bytes 4-7).
  int64_t HeaderCount() const;

 private:
  bool indexed_locks_;
};

// The check of a record: FNV-1a of every field byte before the CHECK field, as 8 hex digits.
std::string RecordCheck(const uint8_t* record, int check_offset);

}  // namespace stress
