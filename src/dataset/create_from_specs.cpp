// Table creation from field specification texts, through the engine's table builders.
#include "dataset/create_from_specs.h"

#include <charconv>
#include <memory>
#include <string_view>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "platform/ascii_case.h"
#include "platform/os_file.h"

namespace quarvel {

namespace {

// Reads an integer as the whole text (leading blanks allowed).
bool ReadInt(std::string_view text, int& out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto res = std::from_chars(text.data(), text.data() + text.size(), out);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

// A builder that never writes: it applies the builder's field rules and length checks, so that
// a list the real builder would refuse part-way is refused before anything is created.
class CheckingBuild : public dbase::DBFBuild {
 public:
  explicit CheckingBuild(const std::string& file_name) : DBFBuild(file_name) { write_enabled_ = false; }
  void Check() const { CheckLengths(); }
};

dbase::EngineError InvalidList() { return dbase::EngineError(dbase::kFieldListInvalid, kFieldListInvalid); }

std::unique_ptr<dbase::DBFBuild> BuilderFor(uint8_t table_type, const std::string& file_name) {
  if (table_type == 2) return std::make_unique<dbase::DB4Build>(file_name);
  if (table_type == 3) return std::make_unique<dbase::DBFoxBuild>(file_name);
  return std::make_unique<dbase::DBFBuild>(file_name);
}

}  // namespace

bool ParseFieldSpec(const std::string& text, FieldSpec& out) {
  std::string_view s = text;
  while (!s.empty() && (s.back() == ' ' || s.back() == ';')) s.remove_suffix(1);
  size_t semi = s.find(';');
  if (semi == std::string_view::npos) return false;
  std::string name(s.substr(0, semi));
  std::string_view rest = s.substr(semi + 1);
  if (rest.size() < 2 || rest[1] != ';') return false;
  char type = rest[0];
  rest.remove_prefix(2);
  semi = rest.find(';');
  if (semi == std::string_view::npos) return false;
  int length = 0;
  if (!ReadInt(rest.substr(0, semi), length)) return false;
  int decimals = 0;
  if (!ReadInt(rest.substr(semi + 1, 3), decimals)) return false;
  // A field without a name would silently go missing from the table.
  if (name.empty()) return false;
  out.name = dbase::platform::UpperAscii(name);
  out.type = type;
  out.length = length;
  out.decimals = decimals;
  return true;
}

bool CreateTableFromSpecs(const std::string& file_name, const std::string& password, uint8_t table_type,
                          const std::vector<std::string>& specs) {
  if (specs.empty()) throw InvalidList();
  std::vector<FieldSpec> fields;
  std::vector<std::string> stored_names;
  for (const std::string& text : specs) {
    FieldSpec f;
    if (!ParseFieldSpec(text, f)) throw InvalidList();
    // Names are stored cut to 10 characters: two names equal there would be one name twice.
    std::string stored = f.name.substr(0, 10);
    for (const std::string& seen : stored_names) {
      if (seen == stored) throw InvalidList();
    }
    stored_names.push_back(stored);
    fields.push_back(f);
  }

  {
    CheckingBuild check(file_name);
    for (const FieldSpec& f : fields) check.AddField(f.name, f.type, f.length, f.decimals);
    check.Check();
  }

  std::unique_ptr<dbase::DBFBuild> builder = BuilderFor(table_type, file_name);
  for (const FieldSpec& f : fields) builder->AddField(f.name, f.type, f.length, f.decimals);
  builder->Build();
  const std::string created = builder->file_name();
  builder.reset();

  if (!password.empty()) {
    dbase::dBHandler table(created, "", true, false);
    table.SetPassword(password);
  }
  return dbase::platform::FileExists(created);
}

}  // namespace quarvel
