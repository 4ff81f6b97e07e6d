// Whole HotSync sessions over 100,000 records: a product load from an SDF file, a product load
// from a CSV file, and an unload of a count table with the default SDF, CSV and dBase exports.
// Each session runs in a forked child, so that its peak resident memory is its own: the child
// builds the Application, activates it, runs the session, and reports its wall time and peak
// RSS through a pipe. The session folders and input files are made by the parent before the
// fork and are not timed. The application's exchange operations are wrapped only to time each
// one, so that the counters show where a session spends its time.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/headless_shell.h"
#include "dataset/create_from_specs.h"
#include "handler/db_handler.h"
#include "exchange/data_exchange.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 100000;
constexpr int kTableType = 3;  // FoxPro, as the handheld tables are made
constexpr std::uint32_t kSeed = 20240607;

const char* kRegistered =
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Application0]\n"
    "\"Conduit\"=\"C:\\\\Palm\\\\SFrmCS35.dll\"\n\"Creator\"=dword:51565043\n";

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string MakeTempFolder(const std::string& stem) {
  std::string tmpl = (fs::temp_directory_path() / (stem + "-XXXXXX")).string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("cannot create " + tmpl);
  return tmpl;
}

// --- Deterministic input -------------------------------------------------------------------

// 13-digit EAN codes (Brazilian prefix 789, check digit included), distinct, shuffled.
std::vector<std::string> ProductCodes(std::mt19937& rng) {
  std::vector<std::string> codes;
  codes.reserve(kRecords);
  for (int i = 0; i < kRecords; ++i) {
    // Maker (4 digits) and item (5 digits) spread over their ranges, distinct per i.
    const long body = 7890000000000L / 10 + static_cast<long>(i) * 7919L % 1000000000L;
    std::string digits = std::to_string(body);
    int sum = 0;
    for (std::size_t d = 0; d < digits.size(); ++d) sum += (digits[d] - '0') * (d % 2 == 0 ? 1 : 3);
    digits += static_cast<char>('0' + (10 - sum % 10) % 10);
    codes.push_back(digits);
  }
  // Fisher-Yates with the engine's raw output, so the order does not depend on the library's
  // distributions.
  for (std::size_t i = codes.size() - 1; i > 0; --i) std::swap(codes[i], codes[rng() % (i + 1)]);
  return codes;
}

// Descriptions in Windows-1252 with accented letters, at most 40 bytes.
std::string Description(std::mt19937& rng) {
  static const char* kItems[] = {"A\xC7\xDA" "CAR CRISTAL", "FEIJ\xC3O CARIOCA", "CAF\xC9 TORRADO",
                                 "P\xC3O DE FORMA", "MA\xC7\xC3 FUJI", "LEITE UHT INTEGRAL",
                                 "A\xC7" "AFR\xC3O EM P\xD3", "MACARR\xC3O ESPAGUETE", "SAB\xC3O EM P\xD3",
                                 "CHOCOLATE AO LEITE", "ACHOCOLATADO", "\xD3LEO DE SOJA"};
  static const char* kMakers[] = {"S\xC3O JO\xC3O", "BOA ESPERAN\xC7" "A", "CORA\xC7\xC3O", "PARAN\xC1",
                                  "IGUA\xC7U", "NORDESTE"};
  static const char* kSizes[] = {"1KG", "500G", "5KG", "1L", "900ML", "200G", "12UN"};
  std::string text = kItems[rng() % std::size(kItems)];
  text += ' ';
  text += kMakers[rng() % std::size(kMakers)];
  text += ' ';
  text += kSizes[rng() % std::size(kSizes)];
  if (text.size() > 40) text.resize(40);
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

struct Inputs {
  std::string folder;
  std::string sdf;       // PRODUTOS.txt: 20-byte code + 40-byte description, CR LF
  std::string csv;       // PRODUTOS.csv: "code","description", CR LF
  std::string counts;    // CONTAGEM.DBF with kRecords records
  std::string request_load;
  std::string request_unload;
};

void MakeTable(const std::string& path, const std::vector<std::string>& specs,
               const std::vector<std::vector<std::string>>& rows) {
  quarvel::CreateTableFromSpecs(path, "", kTableType, specs);
  dbase::dBHandler table(path, "", true, false);
  for (const auto& row : rows) {
    table.Blank();
    for (std::size_t i = 0; i < row.size(); ++i) table.StringPut(static_cast<int>(i) + 1, row[i]);
    table.Append();
  }
}

void GenerateInputs(const Inputs& in) {
  std::mt19937 rng(kSeed);
  const std::vector<std::string> codes = ProductCodes(rng);
  std::string sdf;
  std::string csv;
  sdf.reserve(static_cast<std::size_t>(kRecords) * 62);
  for (const std::string& code : codes) {
    const std::string description = Description(rng);
    sdf += Padded(code, 20);
    sdf += Padded(description, 40);
    sdf += "\r\n";
    // Appended piece by piece: "literal" + std::string trips a false -Wrestrict in g++ 12 -O3.
    csv += '"';
    csv += code;
    csv += "\",\"";
    csv += description;
    csv += "\"\r\n";
  }
  WriteBytes(in.sdf, sdf);
  WriteBytes(in.csv, csv);

  std::vector<std::vector<std::string>> rows;
  rows.reserve(kRecords);
  for (const std::string& code : codes) {
    std::string store = "0";
    store += std::to_string(1 + rng() % 9);
    rows.push_back({code, store, std::to_string(rng() % 100000)});
  }
  MakeTable(in.counts, {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"}, rows);
  MakeTable(in.request_load, {"OPERACAO;C;1;0", "ARQUIVO;C;12;0"}, {{"C", "PRODUTOS.DBF"}});
  MakeTable(in.request_unload, {"OPERACAO;C;1;0", "ARQUIVO;C;12;0"}, {{"D", "CONTAGEM.DBF"}});
}

bool inputs_made = false;

// The input files, made once in a child process so that the parent, whose pages every session
// child inherits, stays small.
const Inputs& SharedInputs() {
  static const Inputs inputs = [] {
    Inputs in;
    in.folder = MakeTempFolder("quarvel-exchange-bench-inputs");
    inputs_made = true;
    in.sdf = in.folder + "/PRODUTOS.txt";
    in.csv = in.folder + "/PRODUTOS.csv";
    in.counts = in.folder + "/CONTAGEM.DBF";
    in.request_load = in.folder + "/COMUNICA-C.DBF";
    in.request_unload = in.folder + "/COMUNICA-D.DBF";
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      int status = 0;
      try {
        GenerateInputs(in);
      } catch (const std::exception& error) {
        std::fprintf(stderr, "input generation: %s\n", error.what());
        status = 1;
      }
      _exit(status);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      throw std::runtime_error("input generation failed");
    }
    return in;
  }();
  return inputs;
}

// Removes the input folder when it was made.
void RemoveInputs() {
  if (!inputs_made) return;
  std::error_code ignored;
  fs::remove_all(SharedInputs().folder, ignored);
}

// --- One session -----------------------------------------------------------------------------

enum class Kind { kLoadSdf, kLoadCsv, kUnload };

// A desktop (program folder with the default settings: every export on, every repository the
// program folder), a HotSync root with one user, and a handheld asking for `kind`.
struct SessionFolders {
  std::string base;
  std::string home() const { return base + "/home"; }
  std::string root() const { return base + "/root"; }
  std::string handheld() const { return base + "/handheld"; }
};

SessionFolders PrepareSession(Kind kind) {
  const Inputs& in = SharedInputs();
  SessionFolders s{MakeTempFolder("quarvel-exchange-bench")};
  fs::create_directories(s.home());
  fs::create_directories(s.root());
  fs::create_directories(s.handheld());
  WriteBytes(s.root() + "/hotsync.reg", kRegistered);
  WriteBytes(s.root() + "/users.txt", "Ana Souza\tSouzaA\n");
  WriteBytes(s.handheld() + "/handheld.ini", "[HotSync]\nUser=Ana Souza\n");
  const bool unload = kind == Kind::kUnload;
  fs::copy_file(unload ? in.request_unload : in.request_load, s.handheld() + "/COMUNICA.DBF");
  if (kind == Kind::kLoadSdf) fs::copy_file(in.sdf, s.home() + "/PRODUTOS.txt");
  if (kind == Kind::kLoadCsv) fs::copy_file(in.csv, s.home() + "/PRODUTOS.csv");
  if (unload) fs::copy_file(in.counts, s.handheld() + "/CONTAGEM.DBF");
  return s;
}

std::uint32_t RecordCount(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char header[8] = {};
  if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return 0;
  return header[4] | header[5] << 8 | header[6] << 16 | static_cast<std::uint32_t>(header[7]) << 24;
}

// What a finished session must have left; empty when all is there.
std::string CheckOutcome(Kind kind, const SessionFolders& s) {
  if (kind != Kind::kUnload) {
    const std::uint32_t sent = RecordCount(s.handheld() + "/PRODUTOS.DBF");
    if (sent != kRecords) return "the handheld received " + std::to_string(sent) + " products";
    dbase::dBHandler table(s.handheld() + "/PRODUTOS.DBF", "", false, true);
    std::string previous;
    for (int32_t r = 1; r <= table.record_count(); ++r) {
      table.GetRecord(r);
      std::string code = table.FieldGet(1);
      if (code < previous) return "the products are not sorted at record " + std::to_string(r);
      previous = std::move(code);
    }
    return {};
  }
  int txt = 0, csv = 0, dbf = 0;
  for (const auto& entry : fs::directory_iterator(s.home())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("IE", 0) != 0) continue;
    const std::string ext = entry.path().extension().string();
    if (ext == ".TXT" && fs::file_size(entry.path()) >= kRecords * 30ULL) ++txt;
    if (ext == ".CSV" && fs::file_size(entry.path()) >= kRecords * 10ULL) ++csv;
    if (ext == ".DBF" && RecordCount(entry.path().string()) == kRecords) ++dbf;
  }
  if (txt != 1 || csv != 1 || dbf != 1) return "the exports are incomplete";
  if (RecordCount(s.handheld() + "/CONTAGEM.DBF") != 0) return "the handheld's counts were not emptied";
  return {};
}

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// Seconds spent in each exchange operation during one session.
struct PhaseTimes {
  double import = 0;
  double prepare_empty = 0;
  double export_text = 0;
  double export_dbf = 0;
};

// The application's own exchange operations, each call timed.
class TimedExchange : public quarvel::ExchangeOperations {
 public:
  TimedExchange(quarvel::TTableDataSet& dataset, quarvel::Log& log, const quarvel::AppState& state,
                PhaseTimes& times)
      : real_(
            dataset, [&log](const std::string& line) { log.AddLine(line); }, state.program_folder,
            state.settings),
        times_(times) {}
  void ImportProducts(const std::string& folder, const std::string& key,
                      const std::string& table) override {
    Timed(times_.import, [&] { real_.ImportProducts(folder, key, table); });
  }
  void PrepareEmptyTable(const std::string& folder, const std::string& table) override {
    Timed(times_.prepare_empty, [&] { real_.PrepareEmptyTable(folder, table); });
  }
  void ExportCounts(const std::string& folder, const std::string& prefix,
                    const std::string& table) override {
    Timed(times_.export_text, [&] { real_.ExportCounts(folder, prefix, table); });
  }
  void ExportDbf(const std::string& folder, const std::string& prefix,
                 const std::string& table) override {
    Timed(times_.export_dbf, [&] { real_.ExportDbf(folder, prefix, table); });
  }

 private:
  template <typename Work>
  static void Timed(double& total, Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  quarvel::DataExchange real_;
  PhaseTimes& times_;
};

struct ChildReport {
  double seconds = 0;     // Application construction to its destruction, session included
  double session = 0;     // RunSession alone
  PhaseTimes phases;      // the exchange operations within the session
  long peak_rss_kb = 0;   // the child's peak resident set, sampled before the checks
  double cpu = 0;         // user + system time of the child, sampled with the peak
  char failure[200] = {};
};

// The measured part, in the child: the application as the program builds it, then one session.
ChildReport RunChild(Kind kind, const SessionFolders& s) {
  ChildReport report;
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  {
    quarvel::ApplicationConfig config;
    config.program_folder = s.home();
    config.root_rule.explicit_root = s.root();
    config.version = {1, 0, 0, 0};
    config.exchange = [&report](quarvel::TTableDataSet& dataset, quarvel::Log& log,
                                quarvel::AppState& state) {
      return std::make_unique<TimedExchange>(dataset, log, state, report.phases);
    };
    quarvel::HeadlessShell shell;
    quarvel::Application app(config, shell);
    app.Window().Create();
    app.Window().Activate();
    const auto session_start = Clock::now();
    if (!app.HotSync().RunSession(s.handheld())) throw std::runtime_error("HotSync support is off");
    report.session = std::chrono::duration<double>(Clock::now() - session_start).count();
    if (app.Window().EscapedErrors() != 0 || !shell.exceptions().empty()) {
      throw std::runtime_error("the session reported a failure");
    }
  }
  report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  report.peak_rss_kb = usage.ru_maxrss;
  report.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  const std::string failure = CheckOutcome(kind, s);
  std::snprintf(report.failure, sizeof report.failure, "%s", failure.c_str());
  return report;
}

// Forks, runs `work` in the child and returns its report; the child never returns.
template <typename Work>
ChildReport InChild(Work work) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(fds[0]);
    ChildReport report;
    try {
      report = work();
    } catch (const std::exception& error) {
      std::snprintf(report.failure, sizeof report.failure, "%s", error.what());
    }
    const bool written = write(fds[1], &report, sizeof report) == static_cast<ssize_t>(sizeof report);
    _exit(written ? 0 : 1);
  }
  close(fds[1]);
  ChildReport report;
  const bool read_whole = read(fds[0], &report, sizeof report) == static_cast<ssize_t>(sizeof report);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!read_whole || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::snprintf(report.failure, sizeof report.failure, "the session child ended abnormally");
  }
  return report;
}

// Peak RSS of a child that does nothing: what every child starts with, inherited from the parent.
double BaselineRssMb() {
  static const double mb = [] {
    const ChildReport report = InChild([] {
      ChildReport r;
      rusage usage{};
      getrusage(RUSAGE_SELF, &usage);
      r.peak_rss_kb = usage.ru_maxrss;
      return r;
    });
    return static_cast<double>(report.peak_rss_kb) / 1024.0;
  }();
  return mb;
}

void RunSessions(benchmark::State& state, Kind kind) {
  SharedInputs();
  const double baseline = BaselineRssMb();
  double peak_mb = 0;
  double session_s = 0;
  double cpu_s = 0;
  PhaseTimes phases;
  for (auto _ : state) {
    const SessionFolders folders = PrepareSession(kind);
    const ChildReport report = InChild([&] { return RunChild(kind, folders); });
    std::error_code ignored;
    fs::remove_all(folders.base, ignored);
    if (report.failure[0] != '\0') {
      state.SkipWithError(report.failure);
      return;
    }
    state.SetIterationTime(report.seconds);
    peak_mb = std::max(peak_mb, static_cast<double>(report.peak_rss_kb) / 1024.0);
    session_s += report.session;
    cpu_s += report.cpu;
    phases.import += report.phases.import;
    phases.prepare_empty += report.phases.prepare_empty;
    phases.export_text += report.phases.export_text;
    phases.export_dbf += report.phases.export_dbf;
  }
  state.counters["peak_rss_MB"] = peak_mb;
  state.counters["base_rss_MB"] = baseline;
  const auto average = [](double total) {
    return benchmark::Counter(total, benchmark::Counter::kAvgIterations);
  };
  state.counters["run_session_s"] = average(session_s);
  state.counters["child_cpu_s"] = average(cpu_s);
  if (kind == Kind::kUnload) {
    state.counters["prepare_empty_s"] = average(phases.prepare_empty);
    state.counters["export_text_s"] = average(phases.export_text);
    state.counters["export_dbf_s"] = average(phases.export_dbf);
  } else {
    state.counters["import_s"] = average(phases.import);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_LoadSdf(benchmark::State& state) { RunSessions(state, Kind::kLoadSdf); }
void BM_LoadCsv(benchmark::State& state) { RunSessions(state, Kind::kLoadCsv); }
void BM_Unload(benchmark::State& state) { RunSessions(state, Kind::kUnload); }

BENCHMARK(BM_LoadSdf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadCsv)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Unload)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RemoveInputs();
  return 0;
}
