// DBFObject: the dataset's hooks into the table handler.
#include "dataset/dbf_object.h"

#include "dataset/table_dataset.h"
#include "index/index_file.h"
#include "index/index_tag.h"

namespace quarvel {

DBFObject::DBFObject(TTableDataSet* owner, const std::string& file_name, const std::string& password,
                     bool read_write, bool shared)
    : dBHandler(file_name, password, read_write, shared), owner_(owner) {}

DBFObject::~DBFObject() = default;

bool DBFObject::RecordAccepted() {
  if (owner_ && !owner_->AcceptRecord()) return false;
  return dBHandler::RecordAccepted();
}

void DBFObject::StatusUpdate(int stat1, int stat2, int stat3) {
  if (owner_) {
    if (owner_->OnStatus) owner_->OnStatus(*owner_, stat1, stat2, stat3);
    return;
  }
  dBHandler::StatusUpdate(stat1, stat2, stat3);
}

bool DBFObject::AddIndexFile(const std::string& path) {
  if (OpenIndexFile(path) == nullptr) return false;
  index_paths_.push_back(path);
  return true;
}

void DBFObject::CloseIndexFiles() {
  CloseIndexes();
  index_paths_.clear();
}

void DBFObject::RebuildIndexes() { Reindex(); }

std::string TagExpression(const dbase::IndexTag& tag) { return tag.key_expression(); }

}  // namespace quarvel
