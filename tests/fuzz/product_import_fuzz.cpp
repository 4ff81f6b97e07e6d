// Fuzz target for the product import: the input becomes a product file (SDF or CSV) that is
// imported into a table, which must then be whole and readable. Bad lines are the import's to
// log; any exception escaping the import, a crash or a sanitizer report is a finding.
//
// Input layout: byte 0 = options (bit 0: CSV rather than SDF, bit 1: a table of every field type
// with a memo rather than the product table, bit 2: sort by CODIGO), the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/settings.h"
#include "dataset/create_from_specs.h"
#include "dataset/table_dataset.h"
#include "handler/db_handler.h"
#include "exchange/data_exchange.h"

namespace {

namespace fs = std::filesystem;

enum Options : uint8_t { kCsv = 1, kTypedTable = 2, kSorted = 4 };

constexpr const char* kProducts = "PRODUTOS.DBF";
constexpr const char* kTyped = "ITENS.DBF";

struct World {
  std::string folder;
  quarvel::Settings settings;
  std::string home;
  std::string dbf;
  quarvel::TTableDataSet dataset;
  std::vector<std::string> log;
};

// One folder and one dataset for the whole run; the input file is rewritten for every input.
World& TheWorld() {
  // Allocated once and never freed, so that the exit handler below still finds it.
  static World* world = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/product_import_fuzz.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    auto* made = new World;
    made->folder = buf.data();
    made->home = made->folder + "/home";
    made->dbf = made->folder + "/dbf";
    fs::create_directories(made->home);
    fs::create_directories(made->dbf);
    made->settings.txt_folder = made->settings.csv_folder = made->folder;
    quarvel::CreateTableFromSpecs(made->home + "/" + kProducts, "", 3, {"CODIGO;C;20;0", "DESCRICAO;C;40;0"});
    quarvel::CreateTableFromSpecs(made->home + "/" + kTyped, "", 3,
                                  {"CODIGO;C;6;0", "HORA;C;8;0", "DATA;D;8;0", "ATIVO;L;1;0", "QTD;N;5;0",
                                   "PRECO;N;9;2", "PESO;F;7;1", "OBS;M;10;0"});
    made->dataset.SetTranslateASCII(false);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(TheWorld().folder, ignored);
    });
    return made;
  }();
  return *world;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Every record and field of the imported table reads back, and the file's size is what its
// header says.
void CheckWhole(const std::string& path) {
  dbase::dBHandler table(path, "", false, true);
  for (int32_t r = 1; r <= table.record_count(); ++r) {
    table.GetRecord(r);
    for (int f = 1; f <= table.field_count(); ++f) {
      if (table.FieldType(f) == 'M') {
        table.MemoRead(f);
      } else {
        table.FieldGet(f);
      }
    }
  }
  const auto expected = static_cast<uintmax_t>(table.header_length()) +
                        static_cast<uintmax_t>(table.record_count()) * static_cast<uintmax_t>(table.record_length()) + 1;
  if (fs::file_size(path) != expected) {
    std::fprintf(stderr, "table %s has %ju bytes, its header says %ju\n", path.c_str(), fs::file_size(path), expected);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  World& world = TheWorld();
  const uint8_t options = data[0];
  const std::string table = options & kTypedTable ? kTyped : kProducts;
  const bool csv = options & kCsv;
  WriteFile(world.folder + "/" + (options & kTypedTable ? "ITENS" : "PRODUTOS") + (csv ? ".csv" : ".txt"), data + 1,
            size - 1);
  quarvel::DataExchange exchange(
      world.dataset, [&world](const std::string& line) { world.log.push_back(line); }, world.home, world.settings);
  world.log.clear();
  const std::string key = options & kSorted ? "CODIGO" : "";
  try {
    if (csv) {
      exchange.ImportCsv(world.dbf, key, table);
    } else {
      exchange.ImportText(world.dbf, key, table);
    }
    CheckWhole(world.dbf + "/" + table);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "escaped the import: %s\n", error.what());
    std::abort();
  }
  return 0;
}

extern "C" void FuzzSeeds(std::vector<std::string>* seeds) {
  const std::string sdf_product = std::string(20, '1') + std::string(40, 'd') + "\r\n";
  seeds->push_back(std::string(1, '\0') + sdf_product + "7891000100103       Caf\xE9\r\n" + sdf_product);
  seeds->push_back(std::string(1, char{kCsv | kSorted}) + "\"B2\",\"Box, small\"\r\n\"A1\",x\r\n,,,\r\n");
  seeds->push_back(std::string(1, char{kTypedTable | kSorted}) +
                   "A     081530202402297 12.7   -1.5e1   2.26\r\nB      12           12abc1,5            \r\n");
  seeds->push_back(std::string(1, char{kTypedTable | kCsv}) +
                   "\"D\",08:15:30,2024/01/31,1,7,3.14159,-2,\"a memo, long\"\r\nE,,,,,,,\r\n");
}

// libFuzzer never calls FuzzSeeds: the seeds go into the corpus folder it is given, when that
// folder is still empty, so that a first run starts from valid inputs.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i) {
    const fs::path folder((*argv)[i]);
    std::error_code error;
    if ((*argv)[i][0] == '-' || !fs::is_directory(folder, error)) continue;
    if (fs::directory_iterator(folder, error) != fs::directory_iterator()) break;
    std::vector<std::string> seeds;
    FuzzSeeds(&seeds);
    for (size_t n = 0; n < seeds.size(); ++n) {
      const std::string& seed = seeds[n];
      WriteFile((folder / ("seed" + std::to_string(n))).string(), reinterpret_cast<const uint8_t*>(seed.data()),
                seed.size());
    }
    break;
  }
  return 0;
}
