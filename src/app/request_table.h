// What the session handler needs of the dataset to read and mark the request table: open a
// table, test it for records, read a field of the current record as text, and edit, set, post.
#pragma once

#include <string>

namespace quarvel {

class RequestTable {
 public:
  virtual ~RequestTable() = default;
  // Closes the table when one is open, then opens `table_name` in `folder`.
  virtual void Open(const std::string& folder, const std::string& table_name) = 0;
  virtual void Close() = 0;
  virtual bool IsEmpty() = 0;
  // The field of the current record as text (trailing blanks removed).
  virtual std::string FieldText(const std::string& field_name) = 0;
  virtual void Edit() = 0;
  virtual void SetFieldText(const std::string& field_name, const std::string& value) = 0;
  virtual void Post() = 0;
};

}  // namespace quarvel
