// The files of examples/demo, embedded in the program at build time for `--demo`.
#pragma once

#include <cstddef>
#include <span>

namespace quarvel::demo {

struct EmbeddedFile {
  const char* path;  // relative to the demo folder, "/" separated
  const unsigned char* bytes;
  std::size_t size;
};

std::span<const EmbeddedFile> DemoFiles();

}  // namespace quarvel::demo
