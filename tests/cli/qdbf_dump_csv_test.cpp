// qdbf dump --format csv against the general rule it must follow for every value (the field's
// display text, dates as yyyymmdd or empty, Windows-1252 turned into UTF-8, quoted when it holds a
// comma, a quote or a line break), over random records made to reach both the quick and the
// general forms: plain and odd texts, blank and malformed numbers, valid, impossible and blank
// dates, every logical letter, deleted records, with and without a filter.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "handler/db_handler.h"
#include "dbf/dbf_date.h"
#include "platform/text_encoding.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RawField;

const std::vector<RawField> kFields = {
    {"CODIGO", 'C', 12}, {"QTD", 'N', 8, 2}, {"PESO", 'F', 6, 1}, {"DATA", 'D', 8}, {"ATIVO", 'L', 1}};

std::string Pick(std::mt19937& rng, const std::vector<std::string>& choices) { return choices[rng() % choices.size()]; }

std::string Padded(std::string text, size_t width, bool right) {
  if (text.size() > width) text.resize(width);
  return right ? std::string(width - text.size(), ' ') + text : text + std::string(width - text.size(), ' ');
}

std::string RandomRecord(std::mt19937& rng) {
  std::string code;
  const std::string bytes = std::string("ABCxyz09 -,\"\r\n\x01\x7F", 17) + "\x80\x81\xC7\xE3\xFF";
  const size_t length = rng() % 13;
  for (size_t i = 0; i < length; ++i) code += rng() % 3 ? bytes[rng() % 9] : bytes[rng() % bytes.size()];
  const std::string number = Pick(rng, {"1.50", "-12.25", "0.00", "", "123456.7", "1,5", ".50", "-0.01", "*****"});
  const std::string weight = Pick(rng, {"2.0", "-1.5", "", "1e3", "0.1"});
  std::string date;
  switch (rng() % 5) {
    case 0: {
      const int year = 1583 + static_cast<int>(rng() % 8417);
      const int month = 1 + static_cast<int>(rng() % 12);
      const int day = 1 + static_cast<int>(rng() % 31);  // some are no calendar day
      char text[16];
      std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
      date = text;
      break;
    }
    case 1:
      date = Pick(rng, {"20240229", "20230229", "21000229", "20000229", "15821015", "99991231"});
      break;
    case 2:
      date = Pick(rng, {"00000000", "00010101", "10000101"});
      break;
    default:
      date = "";
  }
  const std::string logical(1, "TtYyJjFfNn? "[rng() % 12]);
  return std::string(1, rng() % 8 == 0 ? '*' : ' ') + Padded(code, 12, false) + Padded(number, 8, true) +
         Padded(weight, 6, true) + Padded(date, 8, false) + logical;
}

std::string Csv(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// The CSV the rule gives, read through the engine's own field access.
std::string Expected(const std::string& path, bool deleted, bool filtered) {
  dBHandler t(path, "", false, false);
  std::string out = deleted ? "_deleted," : "";
  for (int i = 1; i <= t.field_count(); ++i) out += (i > 1 ? "," : "") + t.FieldName(i);
  out += "\n";
  for (t.GetRecord(kFirst); !t.eof(); t.GetRecord(kNext)) {
    if (t.deleted() && !deleted) continue;
    if (filtered && !(t.LogicGet(5))) continue;
    if (deleted) out += t.deleted() ? "*," : ",";
    for (int i = 1; i <= t.field_count(); ++i) {
      std::string shown;
      if (t.FieldType(i) == 'D') {
        const int32_t jdn = t.DateGet(i);
        shown = jdn > 0 ? DBFDate::Shared().JulToDTOS(jdn) : "";
      } else {
        shown = t.StringGet(i);
      }
      out += (i > 1 ? "," : "") + Csv(platform::Cp1252ToUtf8(shown));
    }
    out += "\n";
  }
  return out;
}

std::string RunQdbf(const std::string& args, int* status) {
  const std::string command = std::string("'") + std::getenv("QDBF") + "' " + args;
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buf[65536];
  size_t n;
  while (pipe != nullptr && (n = fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
  const int raw = pipe != nullptr ? pclose(pipe) : -1;
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

TEST(QdbfDumpCsvTest, EveryValueFollowsTheGeneralRule) {
  if (std::getenv("QDBF") == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
  testsupport::TempDir dir;
  const std::string path = dir.File("MIXED.DBF");
  std::mt19937 rng(3);
  std::vector<std::string> records;
  for (int i = 0; i < 5000; ++i) records.push_back(RandomRecord(rng));
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, kFields, records));

  struct Case {
    std::string args;
    bool deleted;
    bool filtered;
  };
  for (const Case& c : {Case{"", false, false}, Case{" --deleted", true, false}, Case{" --filter ATIVO", false, true}}) {
    int status = 0;
    const std::string got = RunQdbf("dump '" + path + "' --format csv" + c.args, &status);
    EXPECT_EQ(status, 0) << c.args;
    const std::string want = Expected(path, c.deleted, c.filtered);
    ASSERT_EQ(got.size(), want.size()) << c.args;
    for (size_t at = 0; at < want.size(); ++at) {
      if (got[at] != want[at]) {
        const size_t line = want.rfind('\n', at) + 1;
        FAIL() << c.args << " differs at byte " << at << ": got '" << got.substr(line, 80) << "', want '"
               << want.substr(line, 80) << "'";
      }
    }
  }
}

// Output that cannot be written is a failure, not a dump that passes for complete.
TEST(QdbfDumpCsvTest, AnOutputThatCannotBeWrittenFails) {
  if (std::getenv("QDBF") == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
  testsupport::TempDir dir;
  const std::string path = dir.File("SMALL.DBF");
  std::mt19937 rng(4);
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, kFields, {RandomRecord(rng), RandomRecord(rng)}));
  int status = 0;
  const std::string errors = RunQdbf("dump '" + path + "' --format csv 2>&1 >/dev/full", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(errors, "Error writing to standard output\n");
}

}  // namespace
}  // namespace dbase
