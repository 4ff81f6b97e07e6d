// Appending 1,000,000 records to an exclusive table and reading them back record by record
// (no read-ahead) through the table handler, each beside a raw pwrite/pread loop over the same
// bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "dbf/dbase_fld.h"
#include "dbf/dbf_build.h"

namespace {

constexpr int kRecords = 1000000;

std::string BenchFolder() {
  static std::string folder = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quarvel-bench-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    return tmpl;
  }();
  return folder;
}

std::string CreateCountTable(const std::string& name) {
  std::string path = BenchFolder() + "/" + name;
  dbase::DBFoxBuild b(path);
  b.AddField("CODIGO", 'C', 20, 0);
  b.AddField("LOJA", 'C', 4, 0);
  b.AddField("ESTOQUE", 'N', 6, 0);
  b.Build();
  return path;
}

void BM_AppendHandler(benchmark::State& state) {
  for (auto _ : state) {
    std::string path = CreateCountTable("HANDLER.DBF");
    dbase::dBaseFld t(path, "", true, false);
    for (int i = 0; i < kRecords; ++i) {
      t.Blank();
      t.FieldPut(1, std::to_string(i));
      t.FieldPut(2, "01");
      t.NumberPut(3, i % 1000);
      t.Append();
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

// The same bytes as the handler writes, with one pwrite per record (record + end marker) and
// one header write at the end.
void WriteRawTable(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR);
  char rec[32];
  for (int i = 0; i < kRecords; ++i) {
    std::memset(rec, ' ', 31);
    std::string code = std::to_string(i);
    std::memcpy(rec + 1, code.data(), code.size());
    std::memcpy(rec + 21, "01", 2);
    std::snprintf(rec + 25, 7, "%6d", i % 1000);
    rec[31] = 0x1A;
    if (pwrite(fd, rec, 32, 129 + static_cast<off_t>(i) * 31) != 32) std::abort();
  }
  uint32_t n = kRecords;
  if (pwrite(fd, &n, 4, 4) != 4) std::abort();
  close(fd);
}

// One pwrite per record: the floor for an append that writes each record as it comes.
void BM_AppendRaw(benchmark::State& state) {
  for (auto _ : state) WriteRawTable(CreateCountTable("RAW.DBF"));
  state.SetItemsProcessed(state.iterations() * kRecords);
}

// The table both read loops read, made once whatever order the benchmarks run in.
const std::string& ReadTable() {
  static const std::string path = [] {
    std::string p = CreateCountTable("READ.DBF");
    WriteRawTable(p);
    return p;
  }();
  return path;
}

void BM_ReadHandler(benchmark::State& state) {
  const std::string& path = ReadTable();
  for (auto _ : state) {
    dbase::dBaseFld t(path, "", false, false);
    long double sum = 0;
    for (t.GetRecord(dbase::kFirst); !t.eof(); t.GetRecord(dbase::kNext)) sum += t.NumberGet(3);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_ReadRaw(benchmark::State& state) {
  const std::string& path = ReadTable();
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDONLY);
    char rec[31];
    long sum = 0;
    for (int i = 0; i < kRecords; ++i) {
      if (pread(fd, rec, 31, 129 + static_cast<off_t>(i) * 31) != 31) std::abort();
      sum += std::atoi(std::string(rec + 25, 6).c_str());
    }
    benchmark::DoNotOptimize(sum);
    close(fd);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

BENCHMARK(BM_AppendHandler)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AppendRaw)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReadHandler)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReadRaw)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(BenchFolder());
  return 0;
}
