// Field definition list.
#include "dataset/field_defs.h"

#include "platform/ascii_case.h"

namespace quarvel {

bool SameName(std::string_view a, std::string_view b) { return dbase::platform::EqualIgnoringAsciiCase(a, b); }

const FieldDef& FieldDefs::Add(std::string name, FieldType type, int size, bool required) {
  FieldDef def;
  def.name = std::move(name);
  def.type = type;
  def.size = size;
  def.required = required;
  def.field_no = Count() + 1;
  defs_.push_back(std::move(def));
  return defs_.back();
}

const FieldDef* FieldDefs::Find(std::string_view name) const {
  for (const FieldDef& d : defs_) {
    if (SameName(d.name, name)) return &d;
  }
  return nullptr;
}

}  // namespace quarvel
