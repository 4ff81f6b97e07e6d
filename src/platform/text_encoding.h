// Text encodings at the program's edges: table bytes are Windows-1252, while terminals, JSON,
// CSV dumps and registry files speak UTF-8 (or UTF-16).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dbase::platform {

// Appends the UTF-8 form of the code point `code`.
void AppendUtf8(std::string& out, uint32_t code);

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the control characters of the same number, so every byte round-trips.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-8 text as Windows-1252 bytes. Text that is not UTF-8, or holds a character the code page
// lacks, is returned unchanged: it is taken to be Windows-1252 already.
std::string Utf8ToCp1252(std::string_view text);

}  // namespace dbase::platform
