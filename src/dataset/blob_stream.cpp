// TBlobStream: memo and blob content through memory.
#include "dataset/blob_stream.h"

#include <algorithm>
#include <cstring>

#include "dataset/database_error.h"
#include "dataset/table_dataset.h"

namespace quarvel {

namespace {

bool Editing(const TTableDataSet& ds) {
  return ds.State() == DataSetState::kEdit || ds.State() == DataSetState::kInsert;
}

}  // namespace

TBlobStream::TBlobStream(TTableDataSet& dataset, Field& field, BlobMode mode)
    : dataset_(dataset), field_(field), mode_(mode) {
  if (mode != BlobMode::kRead) {
    if (field.ReadOnly()) throw DatabaseError::Make(msg::kFieldReadOnly, field.FieldName());
    if (!Editing(dataset)) throw DatabaseError(std::string(msg::kNotEditing));
  }
  if (mode == BlobMode::kWrite) {
    // Writing replaces the whole value.
    modified_ = true;
  } else {
    data_ = dataset.ReadMemo(field);
  }
}

TBlobStream::~TBlobStream() {
  try {
    Flush();
  } catch (...) {
    // Destructors must not throw; callers that need to know call Flush themselves.
  }
}

size_t TBlobStream::Read(void* buffer, size_t count) {
  if (position_ >= data_.size()) return 0;
  size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

size_t TBlobStream::Write(const void* buffer, size_t count) {
  if (mode_ == BlobMode::kRead) return 0;
  if (position_ > data_.size()) data_.resize(position_, '\0');
  size_t overlap = std::min(count, data_.size() - position_);
  data_.replace(position_, overlap, static_cast<const char*>(buffer), count);
  position_ += count;
  modified_ = true;
  return count;
}

int64_t TBlobStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::kCurrent) base = static_cast<int64_t>(position_);
  if (origin == SeekOrigin::kEnd) base = static_cast<int64_t>(data_.size());
  int64_t target = std::max<int64_t>(0, base + offset);
  position_ = static_cast<size_t>(target);
  return target;
}

void TBlobStream::Truncate() {
  if (mode_ == BlobMode::kRead) return;
  if (position_ < data_.size()) data_.resize(position_);
  modified_ = true;
}

void TBlobStream::Flush() {
  if (!modified_ || mode_ == BlobMode::kRead) return;
  if (!Editing(dataset_)) return;
  modified_ = false;
  dataset_.WriteMemo(field_, data_);
}

}  // namespace quarvel
