// Fuzz target for the four index formats: the input becomes an index file beside a small fixed
// table; it is opened, every tag walked both ways, sought and checked, and, in the write phase,
// keys are inserted and deleted. Engine errors are the expected answer to damage; anything else
// escaping, a crash, a hang or a sanitizer report is a finding.
//
// Input layout: byte 0 = options (bits 0-1: format NTX, NDX, MDX, CDX; bit 2: write phase),
// the rest is the index file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "index/index_check.h"
#include "index/open_index.h"
#include "index/index_test_table.h"  // tests/index: the table the index tests use

namespace {

using dbase::testing_index::TestTable;

constexpr int kMaxSteps = 2000;
const char* const kExtensions[] = {".ntx", ".ndx", ".mdx", ".cdx"};

const std::string& Folder() {
  static const std::string* folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/index_open_fuzz.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    auto* made = new std::string(buf.data());
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(Folder(), ignored);
    });
    return made;
  }();
  return *folder;
}

// The table every input is read against: 60 records of a character, a number, a date and a
// logical field.
const std::string& TablePath() {
  static const std::string path = [] {
    const std::string p = Folder() + "/T.DBF";
    {
      dbase::DBFBuild build(p);
      build.AddField("CODE", 'C', 10, 0);
      build.AddField("AMOUNT", 'N', 9, 2);
      build.AddField("WHEN", 'D', 8, 0);
      build.AddField("FLAG", 'L', 1, 0);
      build.Build();
    }
    dbase::dBaseFld t(p, "", true, false);
    for (int n = 1; n <= 60; ++n) {
      t.Blank();
      t.FieldPutByName("CODE", "K" + std::to_string((n * 37) % 41));
      t.NumberPutByName("AMOUNT", (n % 7) * 10.25 - 30);
      t.DatePutByName("WHEN", n % 9 == 0 ? 0 : 2451545 + n * 13);
      t.LogicPutByName("FLAG", n % 3 != 0);
      t.Append();
    }
    return p;
  }();
  return path;
}

void WriteFile(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <class F>
void Try(F&& f) {
  try {
    f();
  } catch (const dbase::EngineError&) {
  }
}

void Exercise(dbase::IndexFile& file, bool write) {
  for (int i = 0; i < file.tag_count(); ++i) {
    dbase::IndexTag& tag = *file.tag(i);
    Try([&] {
      int steps = 0;
      for (int32_t r = tag.Position(-3); r != 0 && steps < kMaxSteps; r = tag.Position(-1)) ++steps;
      for (int32_t r = tag.Position(-4); r != 0 && steps < 2 * kMaxSteps; r = tag.Position(-2)) ++steps;
    });
    Try([&] { tag.Seek("K1"); });
    Try([&] { tag.SeekLast(tag.SearchKeyOf(tag.ValueFromText("17"))); });
    Try([&] {
      dbase::Value low = tag.ValueFromText("K1");
      dbase::Value high = tag.ValueFromText("K3");
      tag.SetRange(low, high, true, false);
      for (int steps = 0; tag.Position(-1) != 0 && steps < kMaxSteps; ++steps) {
      }
      tag.ClearRange();
    });
    (void)dbase::CheckIndexTag(tag);
    if (!write) continue;
    Try([&] {
      for (int32_t r = 1; r <= 8; ++r) {
        tag.InsertKey("K" + std::to_string(r), r);
        tag.DeleteKey("K" + std::to_string(r + 3), r + 3);
      }
    });
    (void)dbase::CheckIndexTag(tag, dbase::CheckScope::Structure);
  }
}

// A valid file of each format, built here.
std::string BuiltSeed(int format) {
  const std::string path = Folder() + "/SEED" + kExtensions[format];
  std::filesystem::remove(path);
  TestTable table(TablePath(), true, false);
  auto file = dbase::CreateIndex(table, path);
  switch (format) {
    case 0:
      file->DefineTag({"CODE", "CODE", "FLAG", false, true});
      break;
    case 1:
      file->DefineTag({"AMOUNT", "AMOUNT", "", false, false});
      break;
    default:
      file->DefineTag({"CODE", "CODE", "", false, false});
      file->DefineTag({"AMOUNT", "AMOUNT", "FLAG", true, false});
      file->DefineTag({"WHEN", "WHEN", "", false, true});
      break;
  }
  file.reset();
  return std::string(1, static_cast<char>(format | 4)) + ReadFile(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int format = data[0] & 3;
  const bool write = (data[0] & 4) != 0;
  const std::string path = Folder() + "/F" + kExtensions[format];
  WriteFile(path, data + 1, size - 1);
  TestTable table(TablePath(), write, false);
  Try([&] {
    auto file = dbase::OpenIndex(table, path);
    Exercise(*file, write);
  });
  return 0;
}

extern "C" void FuzzSeeds(std::vector<std::string>* seeds) {
  for (int format = 0; format < 4; ++format) seeds->push_back(BuiltSeed(format));
}

// libFuzzer never calls FuzzSeeds: the seeds go into the corpus folder it is given, when that
// folder is still empty.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i) {
    const std::filesystem::path folder((*argv)[i]);
    std::error_code error;
    if ((*argv)[i][0] == '-' || !std::filesystem::is_directory(folder, error)) continue;
    if (std::filesystem::directory_iterator(folder, error) != std::filesystem::directory_iterator()) break;
    std::vector<std::string> seeds;
    FuzzSeeds(&seeds);
    for (size_t n = 0; n < seeds.size(); ++n) {
      const std::string seed_path = (folder / ("seed" + std::to_string(n))).string();
      WriteFile(seed_path, seeds[n].data(), seeds[n].size());
    }
    break;
  }
  return 0;
}
