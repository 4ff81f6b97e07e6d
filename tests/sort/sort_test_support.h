// Helpers for the sort tests: values from plain data and draining a sort into a list.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dbf/value.h"
#include "expr/sort/key_sort.h"

namespace dbase::sorttest {

// A fast deterministic generator (splitmix64) so that a million keys cost little to make.
class FastRandom {
 public:
  explicit FastRandom(uint64_t seed) : state_(seed) {}
  uint64_t operator()() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>((*this)() % n); }

 private:
  uint64_t state_;
};

inline Value Text(const std::string& s) {
  Value v;
  v.SetText(s);
  return v;
}
inline Value Number(double d) {
  Value v;
  v.SetNumber(d);
  return v;
}
inline Value Date(int32_t jdn) {
  Value v;
  v.SetDate(jdn);
  return v;
}

// Every key the sort delivers, with its record number.
inline std::vector<std::pair<Value, int32_t>> Drain(KeySort& sort) {
  std::vector<std::pair<Value, int32_t>> out;
  Value key;
  int32_t record = 0;
  while (sort.NextKey(key, record)) out.emplace_back(key, record);
  return out;
}

inline std::vector<int32_t> Records(const std::vector<std::pair<Value, int32_t>>& keys) {
  std::vector<int32_t> out;
  for (const auto& k : keys) out.push_back(k.second);
  return out;
}

}  // namespace dbase::sorttest
