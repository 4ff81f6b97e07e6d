// Stored key forms shared by the index formats: doubles made byte-comparable, little-endian
// doubles, the NTX number text, the MDX packed decimal, and key comparison by form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dbase {

// How the stored keys of a tag compare.
enum class KeyForm : uint8_t {
  Bytes,     // unsigned bytes; a shorter search key matches a key it begins
  DoubleLE,  // an 8-byte little-endian IEEE double
  Packed,    // a 12-byte packed decimal (MDX numeric keys)
};

// 8 bytes, most significant first, whose unsigned order is numeric order: the sign bit set for
// positive values, every bit inverted for negative ones. -0 is stored as +0.
void PutSortableDouble(uint8_t* out, double value);
double GetSortableDouble(const uint8_t* in);

void PutDoubleLE(uint8_t* out, double value);
double GetDoubleLE(const uint8_t* in);

// The NTX number key: |value| right-aligned in `length` characters with `decimals` decimals,
// blanks as "0"; a negative value has every byte b replaced by 92 - b ("0" becomes ",", "9"
// becomes "#", the point stays). A value too wide for the key is all "*", sign or not.
std::string NtxNumberKey(double value, int length, int decimals);

// The MDX packed decimal of `value` (12 bytes): byte 0 = 52 + decimal exponent, byte 1 = digit
// count * 4 + 1 (+0x80 when negative), then up to 15 significant digits two per byte.
void PutPackedDecimal(uint8_t* out, double value);
double GetPackedDecimal(const uint8_t* in);

inline constexpr int kPackedDecimalLength = 12;

// Three-way comparison of a search key with a stored key of `key_length` bytes. Byte keys compare
// over the search key's length, so a shorter search key equals every key it begins.
int CompareKeyForm(KeyForm form, const uint8_t* search, int search_length, const uint8_t* key, int key_length);

}  // namespace dbase
