// Fuzz target for the table header and record parser: the input becomes a table file (and a memo
// file beside it), which is checked (CheckTableFiles), opened with dBaseFld, read record by record
// through every typed accessor, then opened for writing to replace and append a record, which
// must read back as put.
// Engine errors (EngineError and its kin, ConversionError) are the expected answer to damage;
// anything else escaping, a crash or a sanitizer report is a finding.
//
// Input layout: byte 0 = options (bit 0: write phase, bit 1: shared open, bit 2: open with the
// password "fz", bit 3: read through dBHandler with the read-ahead buffer, bit 4: and past deleted
// records), bytes 1-4 = little-endian length of the table part, then the table bytes; the
// rest is the memo file (none when empty), named for the table's version byte.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "handler/db_handler.h"
#include "dbf/dbase_fld.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "dbf/table_check.h"
#include "dbf/table_cipher.h"

namespace {

constexpr int32_t kMaxRecordsVisited = 200;
constexpr char kPassword[] = "fz";

enum Options : uint8_t { kWritePhase = 1, kShared = 2, kWithPassword = 4, kHandler = 8, kSkipDeleted = 16 };

// One folder for the whole run; the files in it are rewritten for every input.
const std::string& Folder() {
  // Allocated once and never freed, so that the exit handler below still finds it.
  static const std::string* folder = [] {
    // Every input rewrites the files: a memory file system keeps a run from waiting on the disk.
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/table_open_fuzz.XXXXXX";
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

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs one engine call; the engine's own errors are the expected outcome of damaged input.
template <class F>
bool Try(F&& f) {
  try {
    f();
    return true;
  } catch (const dbase::EngineError&) {
  } catch (const dbase::ConversionError&) {
  }
  return false;
}

void Finding(const char* what, int32_t record, int field) {
  std::fprintf(stderr, "table_open_fuzz: %s (record %d, field %d)\n", what, record, field);
  std::abort();
}

// Every accessor on the fields of the current record. Conversions that do not fit a field's type
// raise (exceptions are costly): they run on field 1 and on the out-of-range numbers 0 and
// count + 1 only.
void ReadFields(dbase::dBaseFld& t) {
  volatile size_t sink = 0;
  for (int f = 0; f <= t.field_count() + 1; ++f) {
    const char type = t.FieldType(f);
    const bool any = f <= 1 || f > t.field_count();
    Try([&] { sink = sink + t.FieldGet(f).size(); });
    Try([&] { sink = sink + t.StringGet(f).size(); });
    if (any || std::string_view("NFBGIMTY").find(type) != std::string_view::npos) {
      Try([&] { sink = sink + static_cast<size_t>(t.NumberGet(f) != 0); });
    }
    if (any || type == 'D') Try([&] { sink = sink + static_cast<size_t>(t.DateGet(f)); });
    Try([&] { sink = sink + static_cast<size_t>(t.LogicGet(f)); });
    Try([&] { sink = sink + static_cast<size_t>(t.MemoSize(f)); });
    Try([&] { sink = sink + t.MemoRead(f).size(); });
    sink = sink + static_cast<size_t>(t.FieldLen(f) + t.FieldDecimals(f) + t.FieldOffset(f) + t.FieldType(f));
    sink = sink + t.FieldName(f).size();
    if (f >= 1 && f <= t.field_count()) {
      // By name: the typed accessors check the field's type first.
      const std::string name = t.FieldName(f);
      Try([&] { sink = sink + t.FieldGetByName(name).size(); });
      if (any || std::string_view("NFBGIM").find(type) != std::string_view::npos) {
        Try([&] { sink = sink + static_cast<size_t>(t.NumberGetByName(name) != 0); });
      }
      if (any || type == 'D') Try([&] { sink = sink + static_cast<size_t>(t.DateGetByName(name)); });
      if (any || type == 'L') Try([&] { sink = sink + static_cast<size_t>(t.LogicGetByName(name)); });
    }
  }
  sink = sink + static_cast<size_t>(t.deleted());
}

// Visits the records forwards, then a few backwards and by number, the requests past the end
// included.
void ReadTable(dbase::dBaseFld& t) {
  int32_t visited = 0;
  Try([&] {
    for (t.GetRecord(dbase::kFirst); !t.eof() && visited < kMaxRecordsVisited; t.GetRecord(dbase::kNext)) {
      ReadFields(t);
      ++visited;
    }
  });
  Try([&] {
    t.GetRecord(dbase::kLast);
    for (int i = 0; i < 3 && !t.bof(); ++i) {
      ReadFields(t);
      t.GetRecord(dbase::kPrevious);
    }
  });
  const int32_t count = t.record_count();
  for (int32_t r : {count, count + 1, count + 2, 1, -6}) {
    Try([&] {
      t.GetRecord(r);
      ReadFields(t);
    });
  }
  Try([&] { t.GetRecord(dbase::kReread); });
}

// What the write phase puts into a field of each type; empty for types it leaves alone.
std::string ValueFor(char type, int field) {
  switch (type) {
    case 'C':
      return "fz" + std::to_string(field);
    case 'N':
    case 'F':
      return "-1";
    case 'D':
      return "20240229";
    case 'L':
      return "T";
    case 'M':
      return std::string(300 + static_cast<size_t>(field), static_cast<char>('a' + field % 26));
    default:
      return "";
  }
}

// Puts a value into every field; returns the fields whose put went through.
std::vector<int> PutFields(dbase::dBaseFld& t) {
  std::vector<int> done;
  for (int f = 1; f <= t.field_count(); ++f) {
    const std::string value = ValueFor(t.FieldType(f), f);
    if (value.empty()) {
      Try([&] { t.StringPut(f, "1"); });
      continue;
    }
    if (Try([&] { t.StringPut(f, value); })) done.push_back(f);
  }
  Try([&] { t.NumberPut(1, 7); });  // numbers into whatever field 1 is
  Try([&] { t.DatePut(1, 2460000); });
  Try([&] { t.LogicPut(1, false); });
  return done;
}

// After a successful append, the new last record must hold what was put (C and M fields).
void CheckAppended(const std::string& table, const std::string& password, int32_t record,
                   const std::vector<int>& fields) {
  if (fields.empty()) return;
  Try([&] {
    dbase::dBaseFld t(table, password, false, false);
    t.GetRecord(record);
    for (int f : fields) {
      const char type = t.FieldType(f);
      if (type != 'C' && type != 'M') continue;
      std::string expected = ValueFor(type, f);
      if (type == 'C') expected.resize(static_cast<size_t>(t.FieldLen(f)), ' ');
      // A table without a memo file has nowhere to keep memo texts.
      if (type == 'M' && !t.has_memo()) continue;
      std::string got;
      if (!Try([&] { got = type == 'C' ? t.FieldGet(f) : t.MemoRead(f); })) continue;
      if (got != expected) Finding(type == 'C' ? "appended text does not read back" : "appended memo does not read back", record, f);
    }
  });
}

void WritePhase(const std::string& table, const std::string& password, bool shared) {
  int32_t appended = 0;
  std::vector<int> fields;
  Try([&] {
    dbase::dBaseFld t(table, password, true, shared);
    if (t.record_count() > 0) {
      Try([&] {
        t.GetRecord(1);
        PutFields(t);
        t.PutRecord(1);
      });
      Try([&] {
        t.GetRecord(dbase::kLast);
        t.Delete();
        t.Undelete();
      });
    }
    Try([&] {
      t.Blank();
      fields = PutFields(t);
      t.Append();
      appended = t.record_number();
    });
    Try([&] {
      t.GetRecord(dbase::kFirst);
      ReadFields(t);
    });
  });
  if (appended > 0) CheckAppended(table, password, appended, fields);
}

void RunOne(const uint8_t* data, size_t size) {
  if (size < 5) return;
  const uint8_t options = data[0];
  size_t table_size = static_cast<size_t>(data[1]) | static_cast<size_t>(data[2]) << 8 |
                      static_cast<size_t>(data[3]) << 16 | static_cast<size_t>(data[4]) << 24;
  data += 5;
  size -= 5;
  if (table_size > size) table_size = size;

  const std::string table = Folder() + "/FZ.DBF";
  WriteFile(table, data, table_size);
  // The memo part goes where the version byte sends the engine: ".fpt" for the FoxPro versions,
  // ".dbt" for every other.
  const bool fox = table_size > 0 && (data[0] == 0xF5 || data[0] == 0x30);
  const std::string memo = Folder() + (fox ? "/FZ.fpt" : "/FZ.dbt");
  std::remove((Folder() + (fox ? "/FZ.dbt" : "/FZ.fpt")).c_str());
  if (table_size < size) {
    WriteFile(memo, data + table_size, size - table_size);
  } else {
    std::remove(memo.c_str());
  }

  const std::string password = (options & kWithPassword) ? kPassword : "";
  const bool shared = (options & kShared) != 0;
  // The table check reads every byte the open below does and more: damage is a finding, never
  // an exception (the engine's errors only for files it cannot read at all).
  Try([&] { dbase::CheckTableFiles(table, password); });
  if (options & kHandler) {
    Try([&] {
      dbase::dBHandler t(table, password, false, shared);
      t.SetReadAhead(true);
      t.set_use_deleted((options & kSkipDeleted) == 0);
      ReadTable(t);
      for (int32_t step : {-2, 3, 0, -1000, 1000}) Try([&] { t.Skip(step); });
    });
  } else {
    Try([&] {
      dbase::dBaseFld t(table, password, false, shared);
      ReadTable(t);
    });
  }
  if (options & kWritePhase) WritePhase(table, password, shared);
}

// ---- seeds ----

void Put16(std::string& s, size_t at, uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string Framed(uint8_t options, const std::string& table, const std::string& memo) {
  std::string out(5, '\0');
  out[0] = static_cast<char>(options);
  Put32(out, 1, static_cast<uint32_t>(table.size()));
  return out + table + memo;
}

// A table built by the engine's builder of `dialect` (1 dBase III, 2 dBase IV, 3 FoxPro) with a
// few records appended through the field layer; memo texts when the table has an M field.
void BuiltSeed(std::vector<std::string>* seeds, int dialect, bool with_memo, uint8_t options) {
  const std::string folder = Folder() + "/seed";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string table = folder + "/SEED.DBF";
  Try([&] {
    std::unique_ptr<dbase::DBFBuild> b;
    if (dialect == 2) {
      b = std::make_unique<dbase::DB4Build>(table);
    } else if (dialect == 3) {
      b = std::make_unique<dbase::DBFoxBuild>(table);
    } else {
      b = std::make_unique<dbase::DBFBuild>(table);
    }
    b->AddField("CODIGO", 'C', 10, 0);
    b->AddField("QTD", 'N', 8, 2);
    b->AddField("DATA", 'D', 8, 0);
    b->AddField("ATIVO", 'L', 1, 0);
    if (with_memo) b->AddField("OBS", 'M', 10, 0);
    b->Build();
  });
  Try([&] {
    dbase::dBaseFld t(table, "", true, false);
    const char* texts[] = {"", "x", "a longer memo text that still fits one block"};
    for (int i = 0; i < 3; ++i) {
      t.Blank();
      t.StringPut(1, "C" + std::to_string(i));
      t.StringPut(2, std::to_string(i * 10 - 5) + ".25");
      t.StringPut(3, i == 1 ? "" : "20240229");
      t.StringPut(4, i % 2 ? "F" : "T");
      if (with_memo) t.StringPut(5, texts[i]);
      t.Append();
    }
    t.GetRecord(2);
    t.Delete();
  });
  if (options & kWithPassword) {
    // Records, descriptors and memos enciphered by the engine itself.
    Try([&] {
      dbase::dBHandler t(table, "", true, false);
      t.SetPassword(kPassword);
    });
  }
  std::string memo;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".DBT" || ext == ".dbt" || ext == ".fpt") memo = ReadFile(entry.path().string());
  }
  seeds->push_back(Framed(options, ReadFile(table), memo));
  std::filesystem::remove_all(folder);
}

// A version 0x30 table by hand (no builder writes one): the 263-byte area after the descriptors,
// binary fields I, B, Y, T and a memo field with the memo flag set, and a FoxPro memo file.
std::string VfpSeed() {
  struct Field {
    const char* name;
    char type;
    uint8_t length;
  };
  const Field fields[] = {{"NOME", 'C', 8}, {"INTEIRO", 'I', 4}, {"DUPLO", 'B', 8}, {"MOEDA", 'Y', 8},
                          {"QUANDO", 'T', 8}, {"OBS", 'M', 4}, {"QTD", 'N', 6}};
  const size_t n = sizeof fields / sizeof fields[0];
  const size_t header_length = 32 + 32 * n + 1 + 263;
  size_t record_length = 1;
  for (const Field& f : fields) record_length += f.length;
  std::string t(header_length, '\0');
  t[0] = 0x30;
  t[1] = 26;
  t[2] = 1;
  t[3] = 1;
  Put32(t, 4, 2);
  Put16(t, 8, static_cast<uint16_t>(header_length));
  Put16(t, 10, static_cast<uint16_t>(record_length));
  t[28] = 0x02;  // has a memo file
  for (size_t i = 0; i < n; ++i) {
    const size_t at = 32 + 32 * i;
    std::memcpy(&t[at], fields[i].name, std::strlen(fields[i].name));
    t[at + 11] = fields[i].type;
    t[at + 16] = static_cast<char>(fields[i].length);
    if (fields[i].type == 'N') t[at + 17] = 2;
  }
  t[32 + 32 * n] = 0x0D;

  // Memo file: 512-byte header, block size 64, one text memo at block 8.
  std::string memo(512 + 64, '\0');
  memo[3] = 9;    // next free block (big-endian)
  memo[7] = 64;   // block size (big-endian)
  memo[512 + 3] = 1;   // type 1 = text
  memo[512 + 7] = 5;   // length 5
  std::memcpy(&memo[512 + 8], "hello", 5);

  for (int r = 0; r < 2; ++r) {
    std::string rec(record_length, '\0');
    rec[0] = ' ';
    std::memcpy(&rec[1], r ? "SEGUNDO " : "PRIMEIRO", 8);
    Put32(rec, 9, static_cast<uint32_t>(-42 + r));
    const double d = 3.25 * (r + 1);
    std::memcpy(&rec[13], &d, 8);
    Put32(rec, 21, 123450000u);  // Y: 12345.0000 (low half; high half 0)
    Put32(rec, 29, 2460000);     // T: Julian day
    Put32(rec, 33, 3600000);     //    and milliseconds
    Put32(rec, 37, r ? 0u : 8u);  // memo block
    std::memcpy(&rec[41], r ? "  -1.5" : " 12.25", 6);
    t += rec;
  }
  t += '\x1A';
  return Framed(kWritePhase, t, memo);
}

// A dBase III table with its records and descriptors enciphered with the password "fz".
std::string EncipheredSeed(const std::string& framed_plain) {
  size_t table_size = 0;
  for (int i = 4; i >= 1; --i) table_size = table_size << 8 | static_cast<uint8_t>(framed_plain[static_cast<size_t>(i)]);
  std::string table = framed_plain.substr(5, table_size);
  const std::string memo = framed_plain.substr(5 + table.size());
  const size_t header_length = static_cast<uint8_t>(table[8]) | static_cast<uint8_t>(table[9]) << 8;
  const size_t record_length = static_cast<uint8_t>(table[10]) | static_cast<uint8_t>(table[11]) << 8;
  table[15] = 1;
  dbase::CipherInPlace(kPassword, &table[32], header_length - 33);
  for (size_t at = header_length; at + record_length <= table.size(); at += record_length) {
    dbase::CipherInPlace(kPassword, &table[at], record_length);
  }
  return Framed(kWritePhase | kWithPassword, table, memo);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunOne(data, size);
  return 0;
}

extern "C" void FuzzSeeds(std::vector<std::string>* seeds) {
  BuiltSeed(seeds, 1, false, kWritePhase);
  BuiltSeed(seeds, 1, true, kWritePhase);
  BuiltSeed(seeds, 2, true, kWritePhase | kShared);
  BuiltSeed(seeds, 3, true, kWritePhase);
  BuiltSeed(seeds, 1, true, kWritePhase | kWithPassword | kHandler);
  BuiltSeed(seeds, 3, true, kWithPassword | kHandler | kSkipDeleted);
  seeds->push_back(VfpSeed());
  seeds->push_back(EncipheredSeed(seeds->front()));
}

// libFuzzer never calls FuzzSeeds: the seeds go into the corpus folder it is given, when that
// folder is still empty, so that a first run starts from valid tables.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i) {
    const std::filesystem::path folder((*argv)[i]);
    std::error_code error;
    if ((*argv)[i][0] == '-' || !std::filesystem::is_directory(folder, error)) continue;
    if (std::filesystem::directory_iterator(folder, error) != std::filesystem::directory_iterator()) break;
    std::vector<std::string> seeds;
    FuzzSeeds(&seeds);
    for (size_t n = 0; n < seeds.size(); ++n) {
      const std::string path = (folder / ("seed" + std::to_string(n))).string();
      WriteFile(path, reinterpret_cast<const uint8_t*>(seeds[n].data()), seeds[n].size());
    }
    break;
  }
  return 0;
}
