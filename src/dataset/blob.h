// The stream interface through which memo and blob fields are read and written whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quarvel {

enum class BlobMode { kRead, kWrite, kReadWrite };
enum class SeekOrigin { kBegin, kCurrent, kEnd };

class BlobStream {
 public:
  virtual ~BlobStream() = default;
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  // New position, clamped at 0.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Size() const = 0;
  // Cuts the stream at the current position.
  virtual void Truncate() = 0;
  // Stores what was written where it belongs; failures are raised here.
  virtual void Flush() {}

  // Everything from the current position on.
  std::string ReadAll();
  void WriteAll(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
};

}  // namespace quarvel
