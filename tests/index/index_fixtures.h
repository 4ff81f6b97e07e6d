// The index fixtures written by other dBase programs (shared/fixtures/index, found by walking
// up from this source file or through QUARVEL_INDEX_FIXTURES) and their dumps: per tag the
// `recno<TAB>key hex` lines in index order and the recorded seeks.
#pragma once

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "index/index_tag.h"

namespace dbase::testing_index {

// One index file of the fixtures, with its folder and the table it indexes.
struct FixtureIndex {
  std::string folder;
  std::string table;
  std::string index;
};

// Every index file of the fixtures.
inline std::vector<FixtureIndex> FixtureIndexes() {
  return {{"ntx-cdx", "fxntx.dbf", "fcode.ntx"},     {"ntx-cdx", "fxntx.dbf", "famount.ntx"},
          {"ntx-cdx", "fxntx.dbf", "fwhen.ntx"},     {"ntx-cdx", "fxntx.dbf", "fnamewhen.ntx"},
          {"ntx-cdx", "fxntx.dbf", "funiq.ntx"},     {"ntx-cdx", "fxntx.dbf", "ffor.ntx"},
          {"ntx-cdx", "fxbig.dbf", "fxbig.ntx"},     {"ndx-mdx", "dbndx.dbf", "dbcode.ndx"},
          {"ndx-mdx", "dbndx.dbf", "dbamount.ndx"},  {"ndx-mdx", "dbndx.dbf", "dbnameqty.ndx"},
          {"ntx-cdx", "fxcdx.dbf", "fxcdx.cdx"},     {"ntx-cdx", "fxbig.dbf", "fxbig.cdx"},
          {"ndx-mdx", "dbmdx.dbf", "dbmdx.mdx"}};
}

// A test name for a fixture index file: its name with every other character than letters and
// digits as "_" ("fcode_ntx").
inline std::string FixtureTestName(const FixtureIndex& f) {
  std::string name = f.index;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

inline std::string FixtureDir() {
  if (const char* env = std::getenv("QUARVEL_INDEX_FIXTURES")) return env;
  std::filesystem::path p = std::filesystem::path(__FILE__).parent_path();
  for (; !p.empty() && p != p.root_path(); p = p.parent_path()) {
    const auto candidate = p / "shared" / "fixtures" / "index";
    if (std::filesystem::is_directory(candidate)) return candidate.string();
  }
  return "";
}

// Standard output of a shell command ("" when it cannot run).
inline std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

inline std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

inline std::string Unhex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

struct FixtureSeek {
  std::string value;  // C:hex, N:number, D:yyyymmdd or D:empty
  bool soft = false;
  bool last = false;
  bool found = false;
  bool eof = false;
  int32_t recno = 0;
};

struct FixtureTag {
  std::string name;
  std::string key;
  std::string for_expression;
  bool unique = false;
  bool descending = false;
  std::string dump;  // "recno\tkeyhex\n" per key
  std::vector<FixtureSeek> seeks;
};

inline std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::stringstream ss(line);
  std::string part;
  while (std::getline(ss, part, '\t')) parts.push_back(part);
  if (!line.empty() && line.back() == '\t') parts.push_back("");
  return parts;
}

// Reads a dump of either fixture family (TAG/KEY/FOR/UNIQUE/DESCEND/KEYS/.../SEEK/END).
inline std::vector<FixtureTag> ReadFixtureDump(const std::string& path) {
  std::vector<FixtureTag> tags;
  std::ifstream in(path);
  std::string line;
  bool in_keys = false;
  while (std::getline(in, line)) {
    const auto parts = SplitTabs(line);
    if (parts.empty()) continue;
    const std::string& head = parts[0];
    if (head == "TAG") {
      tags.emplace_back();
      tags.back().name = parts.size() > 1 ? parts[1] : "";
      in_keys = false;
    } else if (tags.empty()) {
      continue;
    } else if (head == "KEY" || head == "EXPR") {
      tags.back().key = parts.size() > 1 ? parts[1] : "";
    } else if (head == "FOR") {
      tags.back().for_expression = parts.size() > 1 ? parts[1] : "";
    } else if (head == "UNIQUE") {
      tags.back().unique = parts.size() > 1 && parts[1] == "T";
    } else if (head == "DESCEND") {
      tags.back().descending = parts.size() > 1 && parts[1] == "T";
    } else if (head == "KEYS") {
      in_keys = true;
    } else if (head == "KEYCOUNT" || head == "END") {
      in_keys = false;
    } else if (head == "SEEK" && parts.size() >= 7) {
      FixtureSeek s;
      s.value = parts[1];
      s.soft = parts[2] == "soft=T";
      s.last = parts[3] == "last=T";
      s.found = parts[4] == "found=T";
      s.eof = parts[5] == "eof=T";
      s.recno = std::stoi(parts[6].substr(6));
      tags.back().seeks.push_back(s);
    } else if (in_keys && parts.size() >= 2) {
      tags.back().dump += parts[0] + "\t" + parts[1] + "\n";
    }
  }
  return tags;
}

// The first line where two dumps differ ("" when equal), short enough to read in a failure.
inline std::string FirstDifference(const std::string& got, const std::string& want) {
  std::istringstream a(got), b(want);
  std::string x, y;
  for (int line = 1;; ++line) {
    const bool more_a = static_cast<bool>(std::getline(a, x));
    const bool more_b = static_cast<bool>(std::getline(b, y));
    if (!more_a && !more_b) return "";
    if (!more_a || !more_b || x != y) {
      return "line " + std::to_string(line) + ": got [" + (more_a ? x : "end") + "] want [" + (more_b ? y : "end") + "]";
    }
  }
}

// Key expressions of a dump that lists none (MDX), from the writer's walk beside it:
// `T<TAB>tag<TAB>expression` lines.
inline void FillExpressionsFromWalk(const std::string& path, std::vector<FixtureTag>& tags) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const auto parts = SplitTabs(line);
    if (parts.size() < 3 || parts[0] != "T") continue;
    for (FixtureTag& t : tags) {
      if (t.key.empty() && t.name == parts[1]) t.key = parts[2];
    }
  }
}

// The tag's entries in its own order, in the fixtures' form.
inline std::string DumpTag(IndexTag& tag) {
  tag.ClearRange();
  std::string out;
  for (int32_t r = tag.Position(-3); r != 0; r = tag.Position(-1)) {
    out += std::to_string(r) + "\t" + Hex(tag.current_key()) + "\n";
  }
  return out;
}

}  // namespace dbase::testing_index
