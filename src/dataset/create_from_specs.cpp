// Table creation from field specification texts, through the engine's table builders.
#include "dataset/create_from_specs.h"

#include <memory>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "platform/os_file.h"

namespace quarvel {

namespace {

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
  return dbase::ParseFieldSpec(text, dbase::FieldSpecForm::kFourParts, &out);
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
    std::string stored = dbase::StoredFieldName(f.name);
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
