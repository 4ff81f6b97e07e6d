// Conversion between values and the byte-comparable stored form of sort keys.
#include "expr/sort/sort_key.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "dbf/errors.h"

namespace dbase {

namespace {

constexpr uint64_t kSignBit64 = uint64_t{1} << 63;
constexpr uint32_t kSignBit32 = uint32_t{1} << 31;

void PutBigEndian(uint64_t v, int bytes, uint8_t* out) {
  for (int i = bytes - 1; i >= 0; --i) {
    out[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

uint64_t GetBigEndian(const uint8_t* in, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | in[i];
  return v;
}

}  // namespace

uint8_t SortMarkerOf(ValueKind kind) {
  switch (kind) {
    case ValueKind::Text:
      return kSortMarkerText;
    case ValueKind::Number:
      return kSortMarkerNumber;
    case ValueKind::Date:
      return kSortMarkerInteger;
    case ValueKind::Raw:
      return kSortMarkerRaw;
    case ValueKind::Empty:
    case ValueKind::Logical:
      break;
  }
  throw EngineError::Make(kSortVariantType);
}

int EncodeSortKey(const Value& value, uint8_t marker, uint8_t* out) {
  switch (marker) {
    case kSortMarkerNumber: {
      double d = value.AsNumber();
      if (d == 0) d = 0;  // -0 and +0 are equal keys; keep one stored form
      uint64_t bits = std::bit_cast<uint64_t>(d);
      bits = (bits & kSignBit64) ? ~bits : (bits | kSignBit64);
      PutBigEndian(bits, 8, out);
      return 8;
    }
    case kSortMarkerInteger: {
      int32_t jdn = 0;
      if (value.kind() == ValueKind::Date && value.length() >= 4) {
        std::memcpy(&jdn, value.data(), sizeof jdn);
      } else {
        jdn = value.AsDate();
      }
      const uint32_t bits = static_cast<uint32_t>(jdn) ^ kSignBit32;
      PutBigEndian(bits, 4, out);
      return 4;
    }
    case kSortMarkerText: {
      std::string_view text = value.bytes();
      while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
      const size_t n = std::min(text.size(), static_cast<size_t>(kSortMaxKeyLength));
      if (n != 0) std::memcpy(out, text.data(), n);
      return static_cast<int>(n);
    }
    default: {
      const std::string_view raw = value.bytes();
      const size_t n = std::min(raw.size(), static_cast<size_t>(kSortMaxKeyLength));
      if (n != 0) std::memcpy(out, raw.data(), n);
      return static_cast<int>(n);
    }
  }
}

void DecodeSortKey(uint8_t marker, const uint8_t* key, int key_length, Value& out) {
  switch (marker) {
    case kSortMarkerNumber: {
      uint64_t bits = key_length == 8 ? GetBigEndian(key, 8) : kSignBit64;
      bits = (bits & kSignBit64) ? (bits & ~kSignBit64) : ~bits;
      out.SetNumber(std::bit_cast<double>(bits));
      return;
    }
    case kSortMarkerInteger: {
      const uint32_t bits = key_length == 4 ? static_cast<uint32_t>(GetBigEndian(key, 4)) : kSignBit32;
      out.SetDate(static_cast<int32_t>(bits ^ kSignBit32));
      return;
    }
    case kSortMarkerText:
      out.SetText(std::string_view(reinterpret_cast<const char*>(key), static_cast<size_t>(key_length)));
      return;
    default:
      out.SetRaw(key, static_cast<size_t>(key_length));
      return;
  }
}

}  // namespace dbase
