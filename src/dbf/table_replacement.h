// Whole-file replacement of a table and its memo file, for every operation that rewrites a
// table as a whole (emptying, enciphering, deciphering) or writes a new one over a name (copies,
// sorted copies). The original stays whole until the new table is complete.
//
// A table and its memo file are two files, and two renames are not atomic; the scheme below
// makes a kill at any moment leave either the old pair or the new pair, each readable:
//
//  1. Work folder. The new table and its memo file are written into "T.DBF.~new/" beside
//     "T.DBF", under the same file names the engine gives them, so that every naming rule
//     (memo extension and case, the base name in memo headers) is the one of the final table.
//     The folder is held with flock while in use, so that two replacements of one table never
//     mix; a folder nobody holds is the remains of one cut short and is removed.
//  2. Commit point. Every file of the work folder is flushed to disk (fsync). The marker
//     "T.DBF.~commit" is then written as "T.DBF.~commit~", flushed and renamed into place, so
//     that it is either absent or whole. It lists the renames to make, memo files first and
//     the table last, one "new name<TAB>final name" per line. Once it exists, the new table is
//     the table.
//  3. The renames replace the old files one by one (rename replaces atomically); the folder is
//     flushed, the marker removed and the work folder deleted.
//
// Recovery: every open of a table calls FinishInterrupted first. A marker beside the table means
// a commit was cut short between steps 2 and 3: the renames it lists whose new file is still in
// the work folder are made, then the marker goes. Without a marker nothing was committed: the
// old table and memo file are untouched, and a work folder or a half-written marker
// ("T.DBF.~commit~") nobody holds is removed.
// A reader that opens the table through the engine therefore always sees a matching pair.
#pragma once

#include <memory>
#include <string>

namespace dbase {

class DiskFile;

class TableReplacement {
 public:
  // Prepares the replacement of `table` (a full path): finishes an interrupted replacement of it
  // and makes an empty work folder beside it. With `claim_existing`, an existing table of that
  // name is first opened exclusively and held until the end, so that no other program has it
  // open while it is replaced: refused, "Could not create file %s" with the table's name.
  TableReplacement(std::string table, bool claim_existing);
  // Without a commit: removes the work folder and everything written into it.
  ~TableReplacement();
  TableReplacement(const TableReplacement&) = delete;
  TableReplacement& operator=(const TableReplacement&) = delete;

  const std::string& table() const { return table_; }
  // Where the new table is written: the table's file name inside the work folder. Its memo file
  // goes beside it, under the name the engine gives the memo file of that table.
  const std::string& new_table() const { return new_table_; }
  // The file `name` (a name without folder) inside the work folder.
  std::string WorkPath(const std::string& name) const;

  // Flushes every file of the work folder and puts each in place of its namesake beside the
  // table (an existing name that differs only in case is the one replaced), memo files before
  // the table. A failure before the commit point leaves the old table untouched; a failure
  // after it is raised too, and the next open of the table finishes the replacement.
  void Commit();
  bool committed() const { return committed_; }

  // Finishes a replacement of `table` whose commit was cut short (true when there was one) and
  // removes a work folder or a half-written marker nobody holds. Costs three failed stat calls
  // when there is nothing to do.
  static bool FinishInterrupted(const std::string& table);

  // The marker and work-folder names of a table, for tests and tools.
  static std::string MarkerPath(const std::string& table);
  static std::string WorkFolder(const std::string& table);

 private:
  void RemoveWork() noexcept;

  std::string table_;
  std::string work_;
  std::string new_table_;
  int work_lock_ = -1;  // flock held on the work folder
  std::unique_ptr<DiskFile> claim_;
  bool committed_ = false;
};

}  // namespace dbase
