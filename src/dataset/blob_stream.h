// TBlobStream: a memo or blob field of the current record as an in-memory stream. Opened for
// reading it holds the whole stored value; opened for writing it starts empty, and what was
// written is stored into the field by Flush (or when the stream is destroyed) while the
// dataset is still editing or inserting.
#pragma once

#include <string>

#include "dataset/blob.h"

namespace quarvel {

class Field;
class TTableDataSet;

class TBlobStream : public BlobStream {
 public:
  // For writing: "Field '%s' cannot be modified" for a read-only field, "Dataset not in edit or
  // insert mode" outside those states.
  TBlobStream(TTableDataSet& dataset, Field& field, BlobMode mode);
  // Flushes a written stream; a failure here is swallowed, so call Flush to see it.
  ~TBlobStream() override;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  void Truncate() override;

  // Stores the written content into the field (once; later calls do nothing until the next
  // write).
  void Flush() override;

 private:
  TTableDataSet& dataset_;
  Field& field_;
  BlobMode mode_;
  std::string data_;
  size_t position_ = 0;
  bool modified_ = false;
};

}  // namespace quarvel
