// IndexBuilder: key collection over the table and the ordered hand-over to the loader.
#include "index/index_builder.h"

#include "index/index_file.h"
#include "index/index_table.h"
#include "index/index_tag.h"
#include "index/tree_loader.h"

namespace dbase {

namespace {
// Number keys sort as 8-byte doubles whatever their stored length.
int SortLimit(const IndexTag& tag) { return tag.key_form() == KeyForm::Bytes ? tag.key_length() : 8; }
}  // namespace

IndexBuilder::IndexBuilder(IndexTag& tag)
    : KeySort(SortLimit(tag), nullptr, !tag.stored_descending_, tag.unique()),
      tag_(tag) {}

void IndexBuilder::Run() {
  IndexTable& table = tag_.table_;
  const int32_t saved = table.CurrentRecord();
  Collect();
  Load();
  if (saved > 0 && saved <= table.RecordCount()) table.GoRecord(saved);
}

void IndexBuilder::Collect() {
  IndexTable& table = tag_.table_;
  const int32_t count = table.RecordCount();
  table.StatusReport(-1, 1, count);
  Value key;
  for (int32_t r = 1; r <= count; ++r) {
    table.GoRecord(r);
    if (tag_.RecordQualifies()) {
      tag_.RecordSortValue(key);
      AddKey(key, r);
    }
    table.StatusReport(1, r, 0);
  }
  table.StatusReport(0, 0, 0);
}

void IndexBuilder::Load() {
  IndexTable& table = tag_.table_;
  table.StatusReport(-1, 2, table.RecordCount());
  IndexFile& file = tag_.file();
  tag_.root_ = kNoPage;
  file.BeginBulkWrite();
  try {
    TreeLoader loader(tag_);
    Value value;
    std::string key;
    int32_t record = 0;
    bool have = NextKey(value, record);
    int32_t n = 0;
    while (have) {
      tag_.StoredFromSort(value, key);
      const int32_t r = record;
      have = NextKey(value, record);
      loader.Add(key, r, !have);
      table.StatusReport(2, ++n, 0);
    }
    tag_.SetRoot(loader.Finish());
    tag_.WriteHeader();
  } catch (...) {
    file.EndBulkWrite();
    throw;
  }
  file.EndBulkWrite();
  table.StatusReport(0, 0, 0);
}

}  // namespace dbase
