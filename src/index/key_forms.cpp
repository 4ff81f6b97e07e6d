// Stored key forms shared by the index formats.
#include "index/key_forms.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace dbase {

void PutSortableDouble(uint8_t* out, double value) {
  if (value == 0) value = 0;  // -0 sorts as +0
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits = (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<uint8_t>(bits);
    bits >>= 8;
  }
}

double GetSortableDouble(const uint8_t* in) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | in[i];
  bits = (bits & 0x8000000000000000ull) ? (bits & ~0x8000000000000000ull) : ~bits;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void PutDoubleLE(uint8_t* out, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

double GetDoubleLE(const uint8_t* in) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | in[i];
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string NtxNumberKey(double value, int length, int decimals) {
  if (length <= 0) return {};
  const bool negative = value < 0;
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, decimals);
  const int n = res.ec == std::errc() ? static_cast<int>(res.ptr - buf) : length + 1;
  if (n > length || !std::isfinite(value)) return std::string(static_cast<size_t>(length), '*');
  std::string key(static_cast<size_t>(length - n), '0');
  key.append(buf, static_cast<size_t>(n));
  if (negative) {
    for (char& c : key) c = static_cast<char>(92 - static_cast<uint8_t>(c));
  }
  return key;
}

// Byte 0: exponent + 52; byte 1: (2 * bytes of digits) * 4 + 1, bit 7 the sign; bytes 2-11: the
// digits, two per byte, most significant first.
void PutPackedDecimal(uint8_t* out, double value) {
  std::memset(out, 0, kPackedDecimalLength);
  out[0] = 52;
  out[1] = 1;
  if (value == 0 || !std::isfinite(value)) return;
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  const size_t e_at = text.find('e');
  std::string digits;
  for (size_t i = 0; i < e_at; ++i) {
    if (text[i] != '.') digits.push_back(text[i]);
  }
  int exponent = 0;
  std::from_chars(text.data() + e_at + 1 + (text[e_at + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
  int e = exponent + 1;
  if (e > 15) {
    e = 15;
    digits.assign(15, '9');
  }
  if (e < -52) return;  // below what the exponent byte holds: zero
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  out[0] = static_cast<uint8_t>(52 + e);
  for (size_t i = 0; i < digits.size(); ++i) {
    const uint8_t d = static_cast<uint8_t>(digits[i] - '0');
    out[2 + i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? d << 4 : d);
  }
  const int bytes = static_cast<int>((digits.size() + 1) / 2);
  out[1] = static_cast<uint8_t>(2 * bytes * 4 + 1);
  if (value < 0) out[1] |= 0x80;
}

// All twenty digit places are read: writers differ in the digit count they put in byte 1, and
// unused places are zero.
double GetPackedDecimal(const uint8_t* in) {
  char text[40];
  int n = 0;
  text[n++] = '.';
  for (int i = 0; i < 20; ++i) {
    const uint8_t b = in[2 + i / 2];
    text[n++] = static_cast<char>('0' + ((i % 2 == 0 ? b >> 4 : b) & 0x0F) % 10);
  }
  text[n++] = 'e';
  const int e = static_cast<int>(in[0]) - 52;
  auto res = std::to_chars(text + n, text + sizeof text, e);
  double value = 0;
  std::from_chars(text, res.ptr, value);
  return (in[1] & 0x80) ? -value : value;
}

namespace {

// Sign of a packed decimal: -1, 0 or 1.
int PackedSign(const uint8_t* p) {
  for (int i = 2; i < kPackedDecimalLength; ++i) {
    if (p[i] != 0) return (p[1] & 0x80) ? -1 : 1;
  }
  return 0;
}

// Compares packed decimals by sign, exponent and digits while both are normalised (a leading
// digit that is not 0); others by their double values.
int ComparePacked(const uint8_t* a, const uint8_t* b) {
  const int sa = PackedSign(a);
  const int sb = PackedSign(b);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (sa == 0) return 0;
  if ((a[2] >> 4) == 0 || (b[2] >> 4) == 0) {
    const double x = GetPackedDecimal(a);
    const double y = GetPackedDecimal(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  int c = 0;
  if (a[0] != b[0]) {
    c = a[0] < b[0] ? -1 : 1;
  } else {
    const int m = std::memcmp(a + 2, b + 2, kPackedDecimalLength - 2);
    c = m < 0 ? -1 : (m > 0 ? 1 : 0);
  }
  return sa < 0 ? -c : c;
}

}  // namespace

int CompareKeyForm(KeyForm form, const uint8_t* search, int search_length, const uint8_t* key, int key_length) {
  switch (form) {
    case KeyForm::Bytes: {
      const int n = search_length < key_length ? search_length : key_length;
      const int c = std::memcmp(search, key, static_cast<size_t>(n));
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case KeyForm::DoubleLE: {
      const double x = GetDoubleLE(search);
      const double y = GetDoubleLE(key);
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    case KeyForm::Packed:
      return ComparePacked(search, key);
  }
  return 0;
}

}  // namespace dbase
