// Working out the new field list of a restructured table.
#include "dbf/restructure_plan.h"

#include <string_view>

#include "dbf/errors.h"
#include "platform/ascii_case.h"

namespace dbase {

namespace {

EngineError Invalid(const std::string& table, const std::string& why) {
  return EngineError(kFieldListInvalid, FormatText(MessageText(kFieldListInvalid), {table}) + ": " + why);
}

bool BinaryMemo(char type) { return type == 'B' || type == 'G'; }

}  // namespace

bool RestructurableType(char type) { return std::string_view("CNFDLMBG").find(type) != std::string_view::npos; }

std::vector<PlannedField> PlanFields(const std::vector<FieldDescriptor>& old, const FieldChanges& changes,
                                     const std::string& table) {
  // What each old field becomes: kept, dropped, or with a new name and/or field.
  struct Fate {
    bool dropped = false;
    bool renamed = false;
    bool retyped = false;
    PlannedField planned;
  };
  std::vector<Fate> fates(old.size());
  for (size_t i = 0; i < old.size(); ++i) {
    const FieldDescriptor& d = old[i];
    fates[i].planned.field = FieldSpec{StoredFieldName(d.name), platform::UpperAscii(d.type), d.length, d.decimals};
    fates[i].planned.source = d.number;
  }
  auto find = [&](const std::string& name) -> Fate& {
    for (size_t i = 0; i < old.size(); ++i) {
      if (platform::EqualIgnoringAsciiCase(old[i].name, name)) return fates[i];
    }
    throw Invalid(table, "there is no field " + name);
  };

  for (const std::string& name : changes.drop) {
    Fate& fate = find(name);
    if (fate.dropped) throw Invalid(table, "field " + name + " is dropped twice");
    fate.dropped = true;
  }
  for (const auto& [from, to] : changes.rename) {
    Fate& fate = find(from);
    if (fate.dropped) throw Invalid(table, "field " + from + " is both dropped and renamed");
    if (fate.renamed) throw Invalid(table, "field " + from + " is renamed twice");
    FieldSpec check;
    if (!ParseFieldSpec(to + ";L", FieldSpecForm::kCommandLine, &check)) {
      throw Invalid(table, "\"" + to + "\" is no field name");
    }
    fate.renamed = true;
    fate.planned.field.name = StoredFieldName(to);
  }
  for (const FieldSpec& spec : changes.retype) {
    Fate& fate = find(spec.name);
    if (fate.dropped) throw Invalid(table, "field " + spec.name + " is both dropped and retyped");
    if (fate.retyped) throw Invalid(table, "field " + spec.name + " is retyped twice");
    const char from = fate.planned.field.type;
    if (!RestructurableType(spec.type)) {
      throw Invalid(table, "field " + spec.name + " cannot be of type " + std::string(1, spec.type));
    }
    if ((BinaryMemo(from) || BinaryMemo(spec.type)) && from != spec.type) {
      throw Invalid(table, "field " + spec.name + " of type " + std::string(1, from) + " cannot become type " +
                               std::string(1, spec.type));
    }
    fate.retyped = true;
    fate.planned.field.type = spec.type;
    fate.planned.field.length = spec.length;
    fate.planned.field.decimals = spec.decimals;
  }

  std::vector<PlannedField> fields;
  for (const Fate& fate : fates) {
    if (!fate.dropped) fields.push_back(fate.planned);
  }
  for (const FieldSpec& spec : changes.add) {
    if (!RestructurableType(spec.type)) {
      throw Invalid(table, "field " + spec.name + " cannot be of type " + std::string(1, spec.type));
    }
    PlannedField added;
    added.field = spec;
    added.field.name = StoredFieldName(spec.name);
    fields.push_back(added);
  }
  if (fields.empty()) throw Invalid(table, "no field is left");
  for (size_t i = 0; i < fields.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (fields[i].field.name == fields[j].field.name) {
        throw Invalid(table, "two fields would be named " + fields[i].field.name);
      }
    }
  }
  return fields;
}

}  // namespace dbase
