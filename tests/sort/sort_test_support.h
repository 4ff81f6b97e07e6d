// Helpers for the sort tests: values from plain data and draining a sort into a list.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dbf/value.h"
#include "expr/sort/key_sort.h"

namespace dbase::sorttest {

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
