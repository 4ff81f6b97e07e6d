// RestructureTable: random tables in the three dialects with memos put through random field
// changes, each result checked against a model that applies the changes to the old values (and
// the backup against the table before); faulty change lists refused with every file as it was;
// and a failing disk at each file call leaving the old table or the new one.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dbf/dbf_build.h"
#include "dbf/dbf_date.h"
#include "dbf/number_text.h"
#include "handler/db_handler.h"
#include "handler/table_restructure.h"
#include "index/index_fixtures.h"
#include "index/index_tag.h"
#include "support/dialects.h"
#include "support/failure_sweep.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

namespace fs = std::filesystem;
using testsupport::FilesIn;
using testsupport::ReadFileBytes;
using testsupport::TempDir;

struct ModelField {
  std::string name;
  char type;
  int length;
  int decimals;
};

// A table as the model sees it: fields, and per record its deleted mark and each field's value
// as text (character fields without trailing blanks, numbers as written, dates yyyymmdd,
// logicals T, F or "", memos their text).
struct Model {
  std::vector<ModelField> fields;
  std::vector<std::vector<std::string>> rows;
  std::vector<bool> deleted;
};

std::string Trimmed(std::string text, bool left) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (left) text.erase(0, text.find_first_not_of(' ') == std::string::npos ? text.size() : text.find_first_not_of(' '));
  return text;
}

bool IsMemo(char type) { return type == 'M'; }

// What a value becomes in a field of `to`; nullopt when it does not go there.
std::optional<std::string> Convert(const std::string& value, const ModelField& to) {
  if (value.find_first_not_of(' ') == std::string::npos) return std::string();
  switch (to.type) {
    case 'C': {
      std::string v = Trimmed(value, false);
      if (v.size() > static_cast<size_t>(to.length)) return std::nullopt;
      return v;
    }
    case 'N': {
      std::optional<long double> v = ParseDecimal(value);
      if (!v) return std::nullopt;
      std::string text = FormatFixed(*v, to.length, to.decimals);
      if (text.size() > static_cast<size_t>(to.length)) return std::nullopt;
      return Trimmed(text, true);
    }
    case 'D': {
      std::string v = Trimmed(value, true);
      if (v.size() != 8 || v.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
      if (DBFDate::PartsToJul(std::stoi(v.substr(0, 4)), std::stoi(v.substr(4, 2)), std::stoi(v.substr(6, 2))) <= 0) {
        return std::nullopt;
      }
      return v;
    }
    case 'L': {
      std::string v = Trimmed(value, true);
      if (v == "?") return std::string();
      if (v.size() == 1 && std::string("TtYy").find(v[0]) != std::string::npos) return std::string("T");
      if (v.size() == 1 && std::string("FfNn").find(v[0]) != std::string::npos) return std::string("F");
      return std::nullopt;
    }
    default:
      return value;
  }
}

// The value a field added to existing records holds: a blank record has 0 in its numbers.
std::string AddedValue(const ModelField& f) {
  return f.type == 'N' ? Trimmed(FormatFixed(0, f.length, f.decimals), true) : std::string();
}

std::string ValueOf(dBHandler& t, int field) {
  const std::string raw = t.FieldGet(field);
  switch (t.FieldType(field)) {
    case 'M':
      return t.MemoRead(field);
    case 'L':
      return raw == "T" || raw == "t" || raw == "Y" || raw == "y" ? "T" : raw == "F" || raw == "f" || raw == "N" || raw == "n" ? "F" : "";
    case 'C':
      return Trimmed(raw, false);
    default:
      return Trimmed(raw, true);
  }
}

Model Read(const std::string& path) {
  dBHandler t(path, "", false, false);
  Model m;
  for (int f = 1; f <= t.field_count(); ++f) {
    m.fields.push_back({t.FieldName(f), t.FieldType(f), t.FieldLen(f), t.FieldDecimals(f)});
  }
  for (int32_t n = 1; n <= t.record_count(); ++n) {
    t.dBaseFld::GetRecord(n);
    std::vector<std::string> row;
    for (int f = 1; f <= t.field_count(); ++f) row.push_back(ValueOf(t, f));
    m.rows.push_back(row);
    m.deleted.push_back(t.deleted());
  }
  return m;
}

void ExpectSame(const Model& got, const Model& want, const std::string& context) {
  ASSERT_EQ(got.fields.size(), want.fields.size()) << context;
  for (size_t f = 0; f < want.fields.size(); ++f) {
    EXPECT_EQ(got.fields[f].name, want.fields[f].name) << context;
    EXPECT_EQ(got.fields[f].type, want.fields[f].type) << context << " " << want.fields[f].name;
    if (!IsMemo(want.fields[f].type) && want.fields[f].type != 'D' && want.fields[f].type != 'L') {
      EXPECT_EQ(got.fields[f].length, want.fields[f].length) << context << " " << want.fields[f].name;
    }
  }
  ASSERT_EQ(got.rows.size(), want.rows.size()) << context;
  for (size_t r = 0; r < want.rows.size(); ++r) {
    EXPECT_EQ(got.deleted[r], want.deleted[r]) << context << " record " << r + 1;
    EXPECT_EQ(got.rows[r], want.rows[r]) << context << " record " << r + 1;
  }
}

// Texts from which every conversion sometimes succeeds and sometimes fails.
const std::vector<std::string> kTexts = {"",         "abc",    "12",       "-3.5",     "T",     "n",      "?",
                                         "20240131", "20241399", "19991231", "9999999", "texto longo", "0.25", "Y"};

std::string RandomValue(std::mt19937& rng, const ModelField& f) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  switch (f.type) {
    case 'C': {
      std::string v = kTexts[static_cast<size_t>(pick(static_cast<int>(kTexts.size())))];
      return Trimmed(v.substr(0, std::min(v.size(), static_cast<size_t>(f.length))), false);
    }
    case 'N': {
      if (pick(6) == 0) return "";
      const long double v = (pick(2000) - 1000) / (f.decimals > 0 ? 100.0L : 1.0L);
      const std::string text = FormatFixed(v, f.length, f.decimals);
      return text.size() > static_cast<size_t>(f.length) ? "" : Trimmed(text, true);
    }
    case 'D': {
      if (pick(4) == 0) return "";
      char buf[48];
      std::snprintf(buf, sizeof buf, "%04d%02d%02d", 1990 + pick(40), 1 + pick(12), 1 + pick(28));
      return buf;
    }
    case 'L':
      return pick(3) == 0 ? "" : pick(2) ? "T" : "F";
    default: {
      if (pick(4) == 0) return "";
      std::string v = kTexts[static_cast<size_t>(pick(static_cast<int>(kTexts.size())))];
      for (int i = pick(3); i > 0; --i) v += " e mais " + std::to_string(pick(1000));
      return v;
    }
  }
}

ModelField RandomField(std::mt19937& rng, const std::string& name) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  switch (pick(5)) {
    case 0:
      return {name, 'C', 1 + pick(12), 0};
    case 1: {
      const int decimals = pick(3);
      return {name, 'N', decimals + 2 + pick(8), decimals};
    }
    case 2:
      return {name, 'D', 8, 0};
    case 3:
      return {name, 'L', 1, 0};
    default:
      return {name, 'M', 10, 0};
  }
}

// The index a table carries: a production index where the dialect has one, else an NTX file.
std::string IndexName(int dialect, const std::string& stem = "T") {
  return dialect == 2 ? stem + ".MDX" : dialect == 3 ? stem + ".CDX" : "K.NTX";
}

void MakeTable(const std::string& path, const std::string& stem, int dialect, Model& m, std::mt19937& rng,
               int records) {
  m.fields = {{"K", 'C', 6, 0}};
  for (int i = 0; i < 5; ++i) m.fields.push_back(RandomField(rng, "F" + std::to_string(i)));
  m.fields.push_back({"NOTAS", 'M', 10, 0});
  {
    auto build = testsupport::DialectBuilder(dialect, path);
    for (const ModelField& f : m.fields) build->AddField(f.name, f.type, f.length, f.decimals);
    build->Build();
  }
  dBHandler t(path, "", true, false);
  for (int r = 0; r < records; ++r) {
    std::vector<std::string> row;
    t.Blank();
    for (size_t f = 0; f < m.fields.size(); ++f) {
      std::string v = f == 0 ? "K" + std::to_string(r % 17) : RandomValue(rng, m.fields[f]);
      if (m.fields[f].type == 'M') {
        t.MemoWrite(static_cast<int>(f + 1), v);
      } else {
        t.FieldPut(static_cast<int>(f + 1), v);
      }
      row.push_back(v);
    }
    t.Append();
    const bool deleted = rng() % 5 == 0;
    if (deleted) t.Delete();
    m.rows.push_back(row);
    m.deleted.push_back(deleted);
  }
  t.DefineTag(IndexName(dialect, stem), TagDefinition{"K", "K", "", false, false});
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : FilesIn(folder)) files[name] = ReadFileBytes(folder + "/" + name);
  return files;
}

// The model of a change list: the new fields and values, and how many values are lost.
Model Apply(const Model& old, const FieldChanges& changes, size_t* losses) {
  Model m;
  std::vector<int> source;
  for (size_t i = 0; i < old.fields.size(); ++i) {
    ModelField f = old.fields[i];
    bool dropped = false;
    for (const std::string& d : changes.drop) dropped = dropped || d == f.name;
    if (dropped) continue;
    for (const FieldSpec& s : changes.retype) {
      if (s.name == f.name) f = {f.name, s.type, s.type == 'D' ? 8 : s.type == 'L' ? 1 : s.type == 'M' ? 10 : s.length, s.decimals};
    }
    for (const auto& [from, to] : changes.rename) {
      if (from == old.fields[i].name) f.name = to;
    }
    m.fields.push_back(f);
    source.push_back(static_cast<int>(i));
  }
  for (const FieldSpec& s : changes.add) {
    m.fields.push_back({s.name, s.type, s.type == 'D' ? 8 : s.type == 'L' ? 1 : s.type == 'M' ? 10 : s.length, s.decimals});
    source.push_back(-1);
  }
  *losses = 0;
  m.deleted = old.deleted;
  for (const auto& old_row : old.rows) {
    std::vector<std::string> row;
    for (size_t f = 0; f < m.fields.size(); ++f) {
      if (source[f] < 0) {
        row.push_back(AddedValue(m.fields[f]));
        continue;
      }
      const ModelField& from = old.fields[static_cast<size_t>(source[f])];
      const std::string& value = old_row[static_cast<size_t>(source[f])];
      const bool same = from.type == m.fields[f].type && from.length == m.fields[f].length &&
                        from.decimals == m.fields[f].decimals;
      std::optional<std::string> v = same ? std::optional<std::string>(value) : Convert(value, m.fields[f]);
      if (!v) ++*losses;
      row.push_back(v.value_or(""));
    }
    m.rows.push_back(row);
  }
  return m;
}

FieldChanges RandomChanges(std::mt19937& rng, const Model& m, int& next_name) {
  auto pick = [&](size_t n) { return rng() % n; };
  FieldChanges c;
  std::set<std::string> touched = {"K"};  // the indexed field stays as it is
  auto untouched = [&]() -> std::string {
    for (int tries = 0; tries < 10; ++tries) {
      const std::string& name = m.fields[pick(m.fields.size())].name;
      if (!touched.count(name)) return name;
    }
    return "";
  };
  const size_t count = 1 + pick(3);
  for (size_t i = 0; i < count; ++i) {
    switch (pick(6)) {
      case 0: {
        std::string name = untouched();
        if (name.empty() || m.fields.size() - c.drop.size() < 3) break;
        touched.insert(name);
        c.drop.push_back(name);
        break;
      }
      case 1: {
        std::string name = untouched();
        if (name.empty()) break;
        touched.insert(name);
        c.rename.emplace_back(name, "R" + std::to_string(next_name++));
        break;
      }
      case 2:
      case 3:
      case 4: {
        std::string name = untouched();
        if (name.empty()) break;
        touched.insert(name);
        const ModelField f = RandomField(rng, name);
        c.retype.push_back(FieldSpec{name, f.type, f.length, f.decimals});
        if (pick(3) == 0) c.rename.emplace_back(name, "R" + std::to_string(next_name++));
        break;
      }
      default: {
        const ModelField f = RandomField(rng, "A" + std::to_string(next_name++));
        c.add.push_back(FieldSpec{f.name, f.type, f.length, f.decimals});
      }
    }
  }
  return c;
}

std::string MemoExtension(int dialect) { return dialect == 3 ? ".FPT" : ".DBT"; }

class RestructureTest : public ::testing::TestWithParam<int> {};

TEST_P(RestructureTest, RandomChangesMatchAModelAndKeepTheOldTableAsBackup) {
  const int dialect = GetParam();
  std::mt19937 rng(1000 + static_cast<unsigned>(dialect));
  TempDir dir;
  const std::string path = dir.File("T.DBF");
  Model model;
  MakeTable(path, "T", dialect, model, rng, 60);
  ExpectSame(Read(path), model, "as built");
  {
    std::string bytes = ReadFileBytes(path);
    bytes[29] = 0x03;  // a code page mark (Windows-1252), which every new table keeps
    testsupport::WriteFileBytes(path, bytes);
  }
  RestructureOptions options;
  if (dialect == 1) options.index_files = {dir.File("K.NTX")};
  int next_name = 0, refused = 0, done = 0, lossy = 0;
  for (int round = 0; round < 20; ++round) {
    const std::string context = "round " + std::to_string(round);
    const FieldChanges changes = RandomChanges(rng, model, next_name);
    size_t losses = 0;
    const Model want = Apply(model, changes, &losses);
    options.force = rng() % 2 == 0;

    const auto before = Snapshot(dir.path());
    if (losses > 0 && !options.force) {
      try {
        RestructureTable(path, changes, options);
        ADD_FAILURE() << context << ": " << losses << " losses passed";
      } catch (const LossesRefused& e) {
        EXPECT_EQ(e.losses().size(), losses) << context;
      }
      EXPECT_EQ(Snapshot(dir.path()), before) << context << ": a refusal changed files";
      ++refused;
      continue;
    }
    const RestructureResult result = RestructureTable(path, changes, options);
    EXPECT_EQ(result.losses.size(), losses) << context;
    lossy += losses > 0;
    ++done;
    ExpectSame(Read(path), want, context);
    EXPECT_EQ(ReadFileBytes(path)[29], 0x03) << context;

    // The backup pair, renamed back, is the table as it was.
    for (const std::string& name : FilesIn(dir.path())) {
      if (name.rfind("OLD.", 0) == 0) fs::remove(dir.File(name));
    }
    fs::copy_file(dir.File("T.BAK"), dir.File("OLD.DBF"));
    if (fs::exists(dir.File("T.TBK"))) fs::copy_file(dir.File("T.TBK"), dir.File("OLD" + MemoExtension(dialect)));
    ExpectSame(Read(dir.File("OLD.DBF")), model, context + " backup");

    // One memo file, of the dialect's kind, exactly while the table has memo fields; no stray files.
    bool memo_field = false, old_memo_field = false;
    for (const ModelField& f : want.fields) memo_field = memo_field || IsMemo(f.type);
    for (const ModelField& f : model.fields) old_memo_field = old_memo_field || IsMemo(f.type);
    EXPECT_EQ(fs::exists(dir.File("T.TBK")), old_memo_field) << context;
    EXPECT_EQ(fs::exists(dir.File("T" + MemoExtension(dialect))), memo_field) << context;
    std::set<std::string> expected = {"T.DBF", "T.BAK", IndexName(dialect), "OLD.DBF"};
    if (memo_field) expected.insert("T" + MemoExtension(dialect));
    if (fs::exists(dir.File("T.TBK"))) {
      expected.insert("T.TBK");
      expected.insert("OLD" + MemoExtension(dialect));
    }
    const std::vector<std::string> files = FilesIn(dir.path());
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()), expected) << context;

    dBHandler t(path, "", false, false);
    if (dialect == 1) {
      t.OpenIndexFile(dir.File("K.NTX"));
    } else {
      EXPECT_TRUE(t.OpenProductionIndex()) << context;
    }
    EXPECT_EQ(t.CheckIndexes(), "") << context;
    model = want;
  }
  // The sequence meets each path: changes carried whole, with losses left blank, and refused.
  EXPECT_GT(done, 4);
  EXPECT_GT(lossy, 0);
  EXPECT_GT(refused, 0);
}

INSTANTIATE_TEST_SUITE_P(AllDialects, RestructureTest, ::testing::Values(1, 2, 3));

TEST(Restructure, FaultyChangeListsAreRefusedWithEveryFileAsItWas) {
  TempDir dir;
  std::mt19937 rng(7);
  Model model;
  MakeTable(dir.File("T.DBF"), "T", 3, model, rng, 5);
  {
    auto build = testsupport::DialectBuilder(3, dir.File("BIN.DBF"));
    build->AddField("CODIGO", 'C', 4, 0);
    build->AddField("FOTO", 'G', 10, 0);
  }
  FieldSpec c10{"F0", 'C', 10, 0};
  struct Case {
    const char* what;
    const char* table;
    FieldChanges changes;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"unknown field", "T.DBF", {{}, {"NADA"}, {}, {}}, "there is no field NADA"},
      {"unknown rename", "T.DBF", {{}, {}, {{"NADA", "X"}}, {}}, "there is no field NADA"},
      {"dropped and renamed", "T.DBF", {{}, {"F1"}, {{"F1", "X"}}, {}}, "both dropped and renamed"},
      {"dropped and retyped", "T.DBF", {{}, {"F0"}, {}, {c10}}, "both dropped and retyped"},
      {"retyped twice", "T.DBF", {{}, {}, {}, {c10, c10}}, "retyped twice"},
      {"added twice", "T.DBF", {{FieldSpec{"NOVO", 'C', 2, 0}, FieldSpec{"novo", 'N', 2, 0}}, {}, {}, {}}, "named NOVO"},
      {"added over an old name", "T.DBF", {{FieldSpec{"F2", 'C', 2, 0}}, {}, {}, {}}, "named F2"},
      {"renamed onto another", "T.DBF", {{}, {}, {{"F1", "F2"}}, {}}, "named F2"},
      {"same once cut to 10", "T.DBF", {{FieldSpec{"NOTAS_LONGAS1", 'C', 2, 0}, FieldSpec{"NOTAS_LONGAS2", 'C', 2, 0}}, {}, {}, {}}, "named NOTAS_LONG"},
      {"nothing left", "T.DBF", {{}, {"K", "F0", "F1", "F2", "F3", "F4", "NOTAS"}, {}, {}}, "no field is left"},
      {"unwritable type", "T.DBF", {{FieldSpec{"NOVO", 'Y', 8, 0}}, {}, {}, {}}, "cannot be of type Y"},
      {"binary memo to text", "BIN.DBF", {{}, {}, {}, {FieldSpec{"FOTO", 'M', 10, 0}}}, "cannot become type M"},
      {"indexed field dropped", "T.DBF", {{}, {"K"}, {}, {}}, "tag K of T.CDX"},
      {"indexed field renamed", "T.DBF", {{}, {}, {{"K", "CHAVE"}}, {}}, "tag K of T.CDX"},
      {"too long for the format", "T.DBF", {{FieldSpec{"NOVO", 'N', 300, 0}}, {}, {}, {}}, "Invalid field list"},
  };
  const auto before = Snapshot(dir.path());
  for (const Case& c : cases) {
    try {
      RestructureTable(dir.File(c.table), c.changes, RestructureOptions{});
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
    }
    EXPECT_EQ(Snapshot(dir.path()), before) << c.what;
  }
}

TEST(Restructure, EveryFailurePointLeavesTheOldTableOrTheNewOne) {
  TempDir dir;
  std::mt19937 rng(11);
  Model model;
  MakeTable(dir.File("ORIG.DBF"), "ORIG", 3, model, rng, 8);
  FieldChanges changes;
  changes.retype = {FieldSpec{"NOTAS", 'C', 40, 0}};
  changes.add = {FieldSpec{"OBS", 'M', 10, 0}};
  changes.rename = {{"F0", "PRIMEIRO"}};
  size_t losses = 0;
  const Model want = Apply(model, changes, &losses);
  ExpectSame(Read(dir.File("ORIG.DBF")), model, "as built");
  RestructureOptions options;
  options.force = true;
  const std::string path = dir.File("T.DBF");
  auto prepare = [&] {
    for (const std::string& name : FilesIn(dir.path())) {
      if (name.rfind("ORIG", 0) != 0) fs::remove_all(dir.File(name));
    }
    for (const char* ext : {".DBF", ".FPT", ".CDX"}) {
      fs::copy_file(dir.File(std::string("ORIG") + ext), dir.File(std::string("T") + ext));
    }
  };
  auto run = [&] { RestructureTable(path, changes, options); };
  const testsupport::FailurePoints points = testsupport::SweepFailures(prepare, run, [&](const testsupport::SweepRun& r) {
    const Model now = Read(path);
    const bool is_new = now.fields.size() == want.fields.size() && now.rows == want.rows;
    const bool is_old = now.fields.size() == model.fields.size() && now.rows == model.rows;
    if (r.raised) {
      EXPECT_TRUE(is_old || is_new) << r.message;
    } else {
      EXPECT_TRUE(is_new) << (r.fired ? "a failure passed for success" : "the whole run went wrong");
    }
    for (const std::string& name : FilesIn(dir.path())) {
      EXPECT_EQ(name.find('~'), std::string::npos) << "left behind: " << name;
    }
  });
  std::printf("[ points   ] restructure: %s\n", points.Describe().c_str());
  EXPECT_GT(points.total, 30u);
}

// The tables other dBase programs wrote, with their memos and indexes: restructured, then packed,
// every value carried and every index (production or named) sound after each step.
TEST(Restructure, TablesOtherProgramsWroteKeepTheirValuesAndIndexes) {
  using testing_index::FixtureDir;
  if (FixtureDir().empty()) GTEST_SKIP() << "index fixtures not found";
  struct Case {
    std::string folder, table;
    std::vector<std::string> companions;  // memo and production index
    std::vector<std::string> indexes;     // named index files
  };
  const std::vector<Case> cases = {
      {"ntx-cdx", "fxntx", {"fxntx.dbt"}, {"fcode.ntx", "famount.ntx", "fwhen.ntx", "fnamewhen.ntx", "funiq.ntx", "ffor.ntx"}},
      {"ntx-cdx", "fxcdx", {"fxcdx.fpt", "fxcdx.cdx"}, {}},
      {"ntx-cdx", "fxbig", {"fxbig.cdx"}, {"fxbig.ntx"}},
      {"ndx-mdx", "dbndx", {"dbndx.dbt"}, {"dbcode.ndx", "dbamount.ndx", "dbnameqty.ndx"}},
      {"ndx-mdx", "dbmdx", {"dbmdx.dbt", "dbmdx.mdx"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    TempDir dir;
    const std::string from = FixtureDir() + "/" + c.folder + "/";
    std::vector<std::string> files = c.companions;
    files.insert(files.end(), c.indexes.begin(), c.indexes.end());
    files.push_back(c.table + ".dbf");
    for (const std::string& name : files) fs::copy_file(from + name, dir.File(name));
    const std::string path = dir.File(c.table + ".dbf");
    const Model old = Read(path);
    FieldChanges changes;
    changes.add = {FieldSpec{"EXTRA", 'N', 5, 1}};
    for (const ModelField& f : old.fields) {
      if (f.name == "NAME") changes.retype = {FieldSpec{"NAME", 'C', 40, 0}};
    }
    RestructureOptions options;
    for (const std::string& name : c.indexes) options.index_files.push_back(dir.File(name));
    size_t losses = 0;
    const Model want = Apply(old, changes, &losses);
    ASSERT_NO_THROW(RestructureTable(path, changes, options));
    EXPECT_EQ(losses, 0u);
    ExpectSame(Read(path), want, "restructured");
    // The backup is the old table byte for byte but for its structural index flag; the code page
    // mark goes over to the new table.
    std::string old_bytes = ReadFileBytes(from + c.table + ".dbf");
    std::string backup = ReadFileBytes(dir.File(c.table + ".bak"));
    ASSERT_EQ(backup.size(), old_bytes.size());
    EXPECT_EQ(backup[28], static_cast<char>(old_bytes[28] & ~1));
    backup[28] = old_bytes[28];
    EXPECT_TRUE(backup == old_bytes);
    EXPECT_EQ(ReadFileBytes(path)[29], old_bytes[29]);
    dBHandler t(path, "", true, false);
    const std::string& last = c.companions.back();
    EXPECT_EQ(t.OpenProductionIndex(), last.ends_with(".cdx") || last.ends_with(".mdx"));
    for (const std::string& name : options.index_files) t.OpenIndexFile(name);
    EXPECT_EQ(t.CheckIndexes(), "");
    t.Pack();
    EXPECT_EQ(t.CheckIndexes(), "");
    t.Close();
    Model packed = want;
    packed.rows.clear();
    packed.deleted.clear();
    for (size_t r = 0; r < want.rows.size(); ++r) {
      if (want.deleted[r]) continue;
      packed.rows.push_back(want.rows[r]);
      packed.deleted.push_back(false);
    }
    ExpectSame(Read(path), packed, "packed");
  }
}

}  // namespace
}  // namespace dbase
