// KeySort against std::sort of the same keys with the same record-number tie-break, at
// 1,000,000 keys: 20-byte texts, doubles and dates. Both sides copy the keys in and read them out.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dbf/value.h"
#include "expr/sort/key_sort.h"

namespace {

constexpr int kKeys = 1000000;

const std::vector<std::string>& TextKeys() {
  static const std::vector<std::string> keys = [] {
    std::mt19937 rng(42);
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::vector<std::string> out(kKeys, std::string(20, ' '));
    for (std::string& s : out) {
      for (char& c : s) c = alphabet[rng() % 36];
    }
    return out;
  }();
  return keys;
}

const std::vector<double>& NumberKeys() {
  static const std::vector<double> keys = [] {
    std::mt19937_64 rng(43);
    std::vector<double> out(kKeys);
    for (double& d : out) d = static_cast<double>(static_cast<int64_t>(rng() % 200000001) - 100000000) / 100;
    return out;
  }();
  return keys;
}

// Julian day numbers over 250 years, as date fields hold them.
const std::vector<int32_t>& DateKeys() {
  static const std::vector<int32_t> keys = [] {
    std::mt19937 rng(44);
    std::vector<int32_t> out(kKeys);
    for (int32_t& d : out) d = 2415021 + static_cast<int32_t>(rng() % 91311);
    return out;
  }();
  return keys;
}

// Adds every value with its record number to a KeySort, then reads the sorted keys back.
void SortKeys(benchmark::State& state, const std::vector<dbase::Value>& values, int key_length) {
  for (auto _ : state) {
    dbase::KeySort sort(key_length, nullptr, true, false);
    for (size_t i = 0; i < values.size(); ++i) sort.AddKey(values[i], static_cast<int32_t>(i + 1));
    dbase::Value key;
    int32_t record = 0;
    int64_t sum = 0;
    while (sort.NextKey(key, record)) sum += record;
    benchmark::DoNotOptimize(sum);
    state.counters["runs"] = sort.run_count();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}

void BM_KeySortText20(benchmark::State& state) {
  const auto& keys = TextKeys();
  std::vector<dbase::Value> values(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) values[i].SetText(keys[i]);
  SortKeys(state, values, 240);
}

void BM_StdSortText20(benchmark::State& state) {
  const auto& keys = TextKeys();
  for (auto _ : state) {
    std::vector<std::pair<std::string, int32_t>> v;
    v.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) v.emplace_back(keys[i], static_cast<int32_t>(i + 1));
    std::sort(v.begin(), v.end());
    int64_t sum = 0;
    for (const auto& [k, r] : v) sum += r + static_cast<int64_t>(k.size());
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_KeySortDouble(benchmark::State& state) {
  const auto& keys = NumberKeys();
  std::vector<dbase::Value> values(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) values[i].SetNumber(keys[i]);
  SortKeys(state, values, 8);
}

// std::sort of (key, record number) pairs, read back in order.
template <class Key>
void StdSortPairs(benchmark::State& state, const std::vector<Key>& keys) {
  for (auto _ : state) {
    std::vector<std::pair<Key, int32_t>> v;
    v.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) v.emplace_back(keys[i], static_cast<int32_t>(i + 1));
    std::sort(v.begin(), v.end());
    int64_t sum = 0;
    for (const auto& [k, r] : v) sum += r;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_StdSortDouble(benchmark::State& state) { StdSortPairs(state, NumberKeys()); }

void BM_KeySortDate(benchmark::State& state) {
  const auto& keys = DateKeys();
  std::vector<dbase::Value> values(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) values[i].SetDate(keys[i]);
  SortKeys(state, values, 8);
}

void BM_StdSortDate(benchmark::State& state) { StdSortPairs(state, DateKeys()); }

BENCHMARK(BM_KeySortText20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSortText20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeySortDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSortDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeySortDate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSortDate)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
