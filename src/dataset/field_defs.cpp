// Field definition list.
#include "dataset/field_defs.h"

namespace quarvel {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

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
