// Field definitions: what a dataset's storage offers (name, type, size), in storage order. Field
// objects are made from them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dataset/dataset_types.h"

namespace quarvel {

struct FieldDef {
  std::string name;
  FieldType type = FieldType::kUnknown;
  int size = 0;
  bool required = false;
  int field_no = 0;  // from 1, in storage order
};

class FieldDefs {
 public:
  // Appends a definition numbered after the last one.
  const FieldDef& Add(std::string name, FieldType type, int size, bool required);
  void Clear() { defs_.clear(); }
  int Count() const { return static_cast<int>(defs_.size()); }
  const FieldDef& operator[](int index) const { return defs_.at(static_cast<size_t>(index)); }
  // Lookup by name without regard to ASCII case; nullptr when there is none.
  const FieldDef* Find(std::string_view name) const;

 private:
  std::vector<FieldDef> defs_;
};

// ASCII case-insensitive comparison, as field and alias names are compared.
bool SameName(std::string_view a, std::string_view b);

}  // namespace quarvel
