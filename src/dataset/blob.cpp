// Whole-stream reading.
#include "dataset/blob.h"

namespace quarvel {

std::string BlobStream::ReadAll() {
  std::string out;
  char chunk[4096];
  for (;;) {
    size_t n = Read(chunk, sizeof chunk);
    if (n == 0) break;
    out.append(chunk, n);
  }
  return out;
}

}  // namespace quarvel
