// Index files over a table of 1,000,000 records (C 20, N 10 2 and D keys): building a tag in each
// format, 10,000 random seeks, and an ordered scan through a tag; key maintenance per append
// with one and with three open tags. Reference runs beside them: KeySort of the same 1,000,000
// keys alone, and reading every record, so that results read as ratios on any machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../tests/index/index_test_table.h"
#include "dbf/dbf_date.h"
#include "expr/sort/key_sort.h"
#include "index/open_index.h"

namespace {

using dbase::testing_index::TestTable;

constexpr int kRecords = 1000000;
constexpr int kSeeks = 10000;
// Record: deletion flag, CODE C 20, AMOUNT N 10 2, WHEN D 8.
constexpr int kRecordLength = 1 + 20 + 10 + 8;

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "index_bench.XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) std::abort();
    std::string made(buf.data());
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(Folder(), ignored);
    });
    return made;
  }();
  return folder;
}

std::vector<std::string>& Codes() {
  static std::vector<std::string> codes;
  return codes;
}

void PutField(std::string& header, size_t at, const char* name, char type, int length, int decimals) {
  std::snprintf(&header[at], 11, "%s", name);
  header[at + 11] = type;
  header[at + 16] = static_cast<char>(length);
  header[at + 17] = static_cast<char>(decimals);
}

// The table, written once: random codes, amounts and dates.
const std::string& TablePath() {
  static const std::string path = [] {
    const std::string p = Folder() + "/BIG.DBF";
    const int header_length = 32 + 3 * 32 + 1;
    std::string header(static_cast<size_t>(header_length), '\0');
    header[0] = 0x03;
    header[1] = 124;
    header[2] = 1;
    header[3] = 1;
    for (int i = 0; i < 4; ++i) header[4 + static_cast<size_t>(i)] = static_cast<char>((kRecords >> (8 * i)) & 0xFF);
    header[8] = static_cast<char>(header_length & 0xFF);
    header[9] = static_cast<char>(header_length >> 8);
    header[10] = kRecordLength;
    PutField(header, 32, "CODE", 'C', 20, 0);
    PutField(header, 64, "AMOUNT", 'N', 10, 2);
    PutField(header, 96, "WHEN", 'D', 8, 0);
    header[128] = 0x0D;
    std::ofstream out(p, std::ios::binary);
    out.write(header.data(), header_length);
    std::mt19937 rng(42);
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string record(kRecordLength, ' ');
    Codes().reserve(kRecords);
    for (int n = 0; n < kRecords; ++n) {
      for (int i = 1; i <= 20; ++i) record[static_cast<size_t>(i)] = alphabet[rng() % 36];
      Codes().push_back(record.substr(1, 20));
      char amount[16];
      std::snprintf(amount, sizeof amount, "%10.2f", static_cast<double>(static_cast<int64_t>(rng() % 2000000000) - 1000000000) / 100);
      record.replace(21, 10, amount, 10);
      const std::string date = dbase::DBFDate::Shared().JulToDTOS(2433283 + static_cast<int32_t>(rng() % 36500));
      record.replace(31, 8, date);
      out.write(record.data(), kRecordLength);
    }
    out.put(0x1A);
    return p;
  }();
  return path;
}

std::string IndexPath(const std::string& name) { return Folder() + "/" + name; }

// One open table for every run that reads the big table: a table opens exclusively.
TestTable& SharedTable() {
  static TestTable table(TablePath());
  return table;
}

void BuildTag(benchmark::State& state, const std::string& extension, const std::string& key) {
  TestTable& table = SharedTable();
  const std::string path = IndexPath("BUILD" + extension);
  for (auto _ : state) {
    std::filesystem::remove(path);
    auto file = dbase::CreateIndex(table, path);
    file->DefineTag(dbase::TagDefinition{"K", key, "", false, false});
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

// A C 20 tag kept for the seek and scan runs.
dbase::IndexFile& BuiltFile(TestTable& table, const std::string& extension) {
  static std::vector<std::pair<std::string, std::unique_ptr<dbase::IndexFile>>> files;
  for (auto& [ext, file] : files) {
    if (ext == extension) return *file;
  }
  const std::string path = IndexPath("SEEK" + extension);
  std::filesystem::remove(path);
  dbase::CreateIndex(table, path)->DefineTag(dbase::TagDefinition{"CODE", "CODE", "", false, false});
  files.emplace_back(extension, dbase::OpenIndex(table, path));
  return *files.back().second;
}

void Seek(benchmark::State& state, const std::string& extension) {
  TestTable& table = SharedTable();
  dbase::IndexTag& tag = *BuiltFile(table, extension).tag(0);
  std::mt19937 rng(7);
  std::vector<std::string> wanted(kSeeks);
  for (auto& w : wanted) w = Codes()[rng() % Codes().size()];
  int64_t found = 0;
  for (auto _ : state) {
    for (const std::string& w : wanted) found += tag.Seek(w) != 0;
  }
  if (found != static_cast<int64_t>(state.iterations()) * kSeeks) state.SkipWithError("a key was not found");
  state.SetItemsProcessed(state.iterations() * kSeeks);
}

void Scan(benchmark::State& state, const std::string& extension) {
  TestTable& table = SharedTable();
  dbase::IndexTag& tag = *BuiltFile(table, extension).tag(0);
  for (auto _ : state) {
    int64_t n = 0;
    for (int32_t r = tag.Position(-3); r != 0; r = tag.Position(-1)) ++n;
    if (n != kRecords) state.SkipWithError("the scan missed entries");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

// Appends 10,000 records to a copy of a small table with `tags` open NTX tags.
void Append(benchmark::State& state, int tags) {
  const std::string keys[] = {"CODE", "AMOUNT", "WHEN"};
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = Folder() + "/APPEND.DBF";
    std::ifstream in(TablePath(), std::ios::binary);
    std::string head(129, '\0');
    in.read(head.data(), 129);
    std::string small = head;
    small[4] = small[5] = small[6] = small[7] = 0;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(small.data(), 129).put(0x1A);
    auto table = std::make_unique<TestTable>(path, true, false);
    std::vector<std::unique_ptr<dbase::IndexFile>> files;
    for (int t = 0; t < tags; ++t) {
      files.push_back(dbase::CreateIndex(*table, Folder() + "/APPEND" + std::to_string(t) + ".ntx"));
      files.back()->DefineTag(dbase::TagDefinition{keys[t], keys[t], "", false, false});
      table->attached.push_back(files.back().get());
    }
    state.ResumeTiming();
    for (int n = 0; n < 10000; ++n) {
      table->Blank();
      table->FieldPutByName("CODE", Codes()[static_cast<size_t>(n)]);
      table->NumberPutByName("AMOUNT", n * 1.25);
      table->DatePutByName("WHEN", 2451545 + n);
      table->Append();
    }
    state.PauseTiming();
    files.clear();
    table.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}

void ReferenceKeySort(benchmark::State& state) {
  TablePath();
  for (auto _ : state) {
    dbase::KeySort sort(20, nullptr, true, false);
    dbase::Value v;
    for (int n = 0; n < kRecords; ++n) {
      v.SetRaw(Codes()[static_cast<size_t>(n)]);
      sort.AddKey(v, n + 1);
    }
    int32_t record = 0;
    int64_t sum = 0;
    while (sort.NextKey(v, record)) sum += record;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void ReferenceReadRecords(benchmark::State& state) {
  TestTable& table = SharedTable();
  for (auto _ : state) {
    int64_t sum = 0;
    for (int32_t r = 1; r <= kRecords; ++r) {
      table.GoRecord(r);
      sum += table.RecordBytes()[1];
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

}  // namespace

BENCHMARK(ReferenceKeySort)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(ReferenceReadRecords)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, ntx_c20, ".ntx", "CODE")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, ndx_c20, ".ndx", "CODE")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, mdx_c20, ".mdx", "CODE")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, cdx_c20, ".cdx", "CODE")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, ntx_n10_2, ".ntx", "AMOUNT")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, ndx_n10_2, ".ndx", "AMOUNT")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, mdx_n10_2, ".mdx", "AMOUNT")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, cdx_n10_2, ".cdx", "AMOUNT")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, ntx_d, ".ntx", "WHEN")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, ndx_d, ".ndx", "WHEN")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, mdx_d, ".mdx", "WHEN")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BuildTag, cdx_d, ".cdx", "WHEN")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(Seek, ntx, ".ntx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Seek, ndx, ".ndx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Seek, mdx, ".mdx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Seek, cdx, ".cdx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Scan, ntx, ".ntx")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(Scan, cdx, ".cdx")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(Append, one_ntx_tag, 1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(Append, three_ntx_tags, 3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
