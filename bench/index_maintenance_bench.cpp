// Key maintenance through the table handler: 5,000 appends with one NTX tag open, shared and
// exclusive, each beside the same appends with no index file (the reference), so that the
// cost an open index adds to a record write reads as a ratio.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "dbf/dbf_build.h"
#include "handler/db_handler.h"
#include "index/index_tag.h"

namespace {

constexpr int kRecords = 5000;

std::string BenchFolder() {
  static std::string folder = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quarvel-bench-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    return tmpl;
  }();
  return folder;
}

// A table of 1,000 records, and with `indexed` its CODE tag in ITENS.NTX.
std::string MakeTable(bool indexed) {
  const std::string table = BenchFolder() + "/ITENS.DBF";
  std::filesystem::remove(BenchFolder() + "/ITENS.NTX");
  {
    dbase::DBFBuild build(table);
    build.AddField("CODE", 'C', 10, 0);
    build.AddField("QTY", 'N', 6, 0);
    build.Build();
  }
  dbase::dBHandler t(table, "", true, false);
  for (int n = 0; n < 1000; ++n) {
    t.Blank();
    t.StringPut(1, "K" + std::to_string((n * 7919) % 99991));
    t.Append();
  }
  if (indexed) t.DefineTag(BenchFolder() + "/ITENS.NTX", dbase::TagDefinition{"CODE", "CODE", "", false, false});
  return table;
}

void Appends(benchmark::State& state, bool indexed, bool shared) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string table = MakeTable(indexed);
    state.ResumeTiming();
    dbase::dBHandler t(table, "", true, shared);
    if (indexed) t.OpenIndexFile("ITENS.NTX");
    for (int n = 0; n < kRecords; ++n) {
      t.Blank();
      t.StringPut(1, "A" + std::to_string((n * 104729) % 999983));
      t.Append();
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_SharedAppendReference(benchmark::State& state) { Appends(state, false, true); }
void BM_SharedAppendNtx(benchmark::State& state) { Appends(state, true, true); }
void BM_ExclusiveAppendReference(benchmark::State& state) { Appends(state, false, false); }
void BM_ExclusiveAppendNtx(benchmark::State& state) { Appends(state, true, false); }

BENCHMARK(BM_SharedAppendReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_SharedAppendNtx)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ExclusiveAppendReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ExclusiveAppendNtx)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
