// RestructureTable: a table given a new field list (fields added, dropped, renamed, retyped)
// with its records, memos and indexes carried over.
//
// The new table is written in the dialect of the old one (its memo kind; a table without memos
// takes the dialect asked for, or the one its production index implies) beside the old one and
// replaces it only when complete (TableReplacement), together with a copy of the old table as
// T.BAK and of its memo file as T.TBK (extension case following the table's). The backup no
// longer announces a production index, so that it opens on its own once renamed back.
//
// Values go over by field: unchanged fields byte for byte, changed ones through their text
// (numbers as written, dates as yyyymmdd, logicals as T or F, memos as their text). A value that
// does not convert or fit is a loss: left blank when `force` is set, otherwise the whole
// operation is refused with nothing changed. Deleted marks and record order are kept.
//
// Indexes: the tags of the production index and of `index_files` are built again from their
// definitions on the new table. A tag whose key or FOR expression does not compile on the new
// fields refuses the operation before anything is written. The production index is built with
// the new table and replaces the old one with it; the other index files are rebuilt once the new
// table is in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbf/errors.h"
#include "dbf/restructure_plan.h"

namespace dbase {

struct RestructureOptions {
  std::string password;
  std::vector<std::string> index_files;
  bool force = false;
  int dialect = 0;  // for a table without memos: 1 dBase III, 2 dBase IV, 3 FoxPro; 0 as it implies
};

// A value that could not be carried into its new field.
struct CarryLoss {
  int32_t record = 0;
  std::string field;  // the new field's name
  std::string value;  // the old value as text, in the table's code page
  std::string reason;
};

struct RestructureResult {
  int32_t records = 0;
  std::vector<CarryLoss> losses;  // left blank (with `force`)
  std::string backup;             // path of the old table's copy
  std::vector<std::string> rebuilt_tags;
};

// Without `force`, values that would be lost refuse the operation with this error, which lists
// them all.
class LossesRefused : public EngineError {
 public:
  LossesRefused(std::string text, std::vector<CarryLoss> losses)
      : EngineError(kFieldListInvalid, std::move(text)), losses_(std::move(losses)) {}
  const std::vector<CarryLoss>& losses() const { return losses_; }

 private:
  std::vector<CarryLoss> losses_;
};

// Raises EngineError for a faulty change list (see PlanFields), a table kind the builders do not
// write (Visual FoxPro), tags that no longer compile, and LossesRefused; in each of those cases
// no file is changed. A failure while the other index files are rebuilt, after the new table is
// in place, is raised too, its message saying so.
RestructureResult RestructureTable(const std::string& table, const FieldChanges& changes,
                                   const RestructureOptions& options);

}  // namespace dbase
