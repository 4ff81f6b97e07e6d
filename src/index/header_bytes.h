// Texts in index headers: NUL-terminated within a fixed field.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace dbase {

// The text up to the first NUL within `size` bytes.
inline std::string GetHeaderText(const uint8_t* field, size_t size) {
  const void* nul = std::memchr(field, 0, size);
  const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - field) : size;
  return std::string(reinterpret_cast<const char*>(field), n);
}

// Writes `text` cut to size - 1 bytes and a NUL.
inline void PutHeaderText(uint8_t* field, size_t size, std::string_view text) {
  const size_t n = text.size() < size ? text.size() : size - 1;
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

}  // namespace dbase
