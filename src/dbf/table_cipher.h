// The table cipher: byte i of a range becomes ((i mod 256) OR p) XOR byte, p cycling through
// the password's characters. It is its own inverse; an empty password leaves bytes unchanged.
// Position and password character restart at every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dbase {

inline void CipherBytes(std::string_view password, const uint8_t* in, uint8_t* out, size_t length) {
  if (password.empty()) {
    if (in != out) {
      for (size_t i = 0; i < length; ++i) out[i] = in[i];
    }
    return;
  }
  size_t p = 0;
  for (size_t i = 0; i < length; ++i) {
    uint8_t key = static_cast<uint8_t>((i & 0xFF) | static_cast<uint8_t>(password[p]));
    out[i] = static_cast<uint8_t>(key ^ in[i]);
    if (++p == password.size()) p = 0;
  }
}

inline void CipherInPlace(std::string_view password, void* data, size_t length) {
  auto* bytes = static_cast<uint8_t*>(data);
  CipherBytes(password, bytes, bytes, length);
}

}  // namespace dbase
