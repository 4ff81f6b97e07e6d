// The soundness check of a table file and its memo file, read as bytes and never trusted: the
// header against the file size, the field descriptors, every field's bytes against its type, the
// memo file header, every memo reference and the memo it leads to, and no two records sharing
// memo blocks. Each problem found is a finding that says where it is and whether a repair can
// mend it without guessing. The check reads bounded pieces of the files and never allocates by
// a size a damaged file announces beyond what the file holds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dbase {

struct TableFinding {
  // A short stable word naming the kind of damage: header, version, record-length, descriptor,
  // terminator, record-count, partial-record, end-mark, deletion-flag, field-value, memo-file,
  // memo-reference, memo-block, memo-shared, memo-free-list, index.
  std::string kind;
  std::string file;     // the file the finding is in (table, memo or index file name)
  int64_t record = 0;   // the record (from 1), 0 when not about one record
  std::string field;    // the field's name, empty when not about one field
  int64_t offset = -1;  // byte offset in `file`, -1 when none applies
  int64_t block = -1;   // memo block, -1 when none applies
  std::string message;  // what is wrong, in words
  bool repairable = false;
};

struct TableCheckResult {
  std::vector<TableFinding> findings;
  // Findings of a kind past the listed number, counted but not listed.
  std::map<std::string, int64_t> omitted;
  // Whether the header and descriptors describe records that can be read: without that, nothing
  // past the header was checked and nothing can be repaired.
  bool structure_sound = false;
  // The whole records the file holds (what an open of the table counts).
  int64_t whole_records = 0;

  bool sound() const { return findings.empty() && omitted.empty(); }
  // Whether some finding is one a repair mends, or one it must leave alone.
  bool AnyRepairable() const;
  bool AnyUnrepairable() const;
};

// Checks the table file `table` and its memo file. An enciphered table needs its password (else
// the engine's "No Password for encrypted file %s"); a missing or unreadable table file raises the
// engine's error. Damage is never raised: it is a finding.
TableCheckResult CheckTableFiles(const std::string& table, const std::string& password);

// "where" of a finding as a person reads it: "record 7, field QTD, offset 1234" and the like.
std::string FindingPlace(const TableFinding& finding);

}  // namespace dbase
