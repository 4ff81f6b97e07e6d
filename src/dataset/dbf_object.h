// DBFObject: the table object of a TTableDataSet. It is the engine's table handler plus the
// owning dataset: records the handler visits are also offered to the dataset's OnFilterRecord,
// and progress of long operations goes to the dataset's OnStatus. It also carries the seams the
// dataset uses to open index files one at a time and to rebuild them.
#pragma once

#include <string>
#include <vector>

#include "handler/db_handler.h"

namespace quarvel {

class TTableDataSet;

class DBFObject : public dbase::dBHandler {
 public:
  DBFObject(TTableDataSet* owner, const std::string& file_name, const std::string& password, bool read_write,
            bool shared);
  ~DBFObject() override;

  TTableDataSet* owner() const { return owner_; }

  bool RecordAccepted() override;
  void StatusUpdate(int stat1, int stat2, int stat3) override;

  // A new record is about to be added: the table stands after its last record.
  void MarkAtEnd() {
    SetEof(true);
    SetBof(false);
  }
  void SetEofFlag(bool on) { SetEof(on); }

  // Opens one more index file with the table (false when it cannot be opened); engine errors
  // pass through.
  virtual bool AddIndexFile(const std::string& path);
  // Closes every index file.
  virtual void CloseIndexFiles();
  // Rebuilds every open index file.
  virtual void RebuildIndexes();
  const std::vector<std::string>& index_paths() const { return index_paths_; }

 private:
  TTableDataSet* owner_;
  std::vector<std::string> index_paths_;
};

// Points the handler's current record at `buffer` for the scope's duration (nullptr leaves it
// where it is), and back at what it pointed to before.
class RecordPointerScope {
 public:
  RecordPointerScope(dbase::dBaseDBF& table, uint8_t* buffer) : table_(table), saved_(table.record()) {
    if (buffer) table_.SetRecordPointer(buffer);
  }
  ~RecordPointerScope() { table_.SetRecordPointer(saved_); }
  RecordPointerScope(const RecordPointerScope&) = delete;
  RecordPointerScope& operator=(const RecordPointerScope&) = delete;

 private:
  dbase::dBaseDBF& table_;
  uint8_t* saved_;
};

// Key expression of an index tag.
std::string TagExpression(const dbase::IndexTag& tag);

}  // namespace quarvel
