// dBaseFld: the field layer of a table: descriptors by name and number, typed field access
// (text, numbers, dates, logicals, memos, binary fields of version 0x30 tables), the blank
// record, delete and recall.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbase_dbf.h"

namespace dbase {

class dBaseFld;

// One field of an open table, kept in field order.
class DBFFields {
 public:
  DBFFields(dBaseFld* owner, const FieldDescriptor& d)
      : owner_(owner), name_(d.name), type_(d.type), length_(d.length), decimals_(d.decimals),
        number_(d.number), offset_(d.offset) {}
  virtual ~DBFFields() = default;

  dBaseFld* owner() const { return owner_; }
  const std::string& name() const { return name_; }
  char type() const { return type_; }
  int length() const { return length_; }
  int decimals() const { return decimals_; }
  int number() const { return number_; }
  int offset() const { return offset_; }

 private:
  dBaseFld* owner_;
  std::string name_;
  char type_;
  int length_;
  int decimals_;
  int number_;
  int offset_;
};

class dBaseFld : public dBaseDBF {
 public:
  dBaseFld(const std::string& file_name, const std::string& password, bool read_write, bool shared);
  ~dBaseFld() override;

  void GetRecord(int32_t request) override;

  // Field number of a name (trailing blanks dropped, case ignored, at most 11 characters); 0 when
  // there is none.
  int FieldNumber(std::string_view name) const;
  // As FieldNumber, raising "There is no field name %s" when there is none.
  const FieldDescriptor& FieldByName(std::string_view name) const;

  virtual void Blank();
  virtual void Delete();
  virtual void Undelete();

  std::string FieldGet(int field) const;
  std::string FieldGetByName(std::string_view name) const;
  bool FieldPut(int field, std::string_view text);
  bool FieldPutByName(std::string_view name, std::string_view text);

  int FieldDecimals(int field) const;
  int FieldLen(int field) const;
  int FieldOffset(int field) const;
  std::string FieldName(int field) const;
  char FieldType(int field) const;

  int32_t DateGet(int field) const;
  int32_t DateGetByName(std::string_view name) const;
  bool DatePut(int field, int32_t jdn);
  bool DatePutByName(std::string_view name, int32_t jdn);

  bool LogicGet(int field) const;
  bool LogicGetByName(std::string_view name) const;
  bool LogicPut(int field, bool value);
  bool LogicPutByName(std::string_view name, bool value);

  long double NumberGet(int field) const;
  long double NumberGetByName(std::string_view name) const;
  bool NumberPut(int field, long double value);
  bool NumberPutByName(std::string_view name, long double value);

  std::string StringGet(int field);
  std::string StringGetByName(std::string_view name);
  bool StringPut(int field, std::string_view text);
  bool StringPutByName(std::string_view name, std::string_view text);

  // Memos of M, B and G fields (0 / false / "" for any other field or no memo).
  int32_t MemoSize(int field);
  std::string MemoRead(int field);
  bool MemoWrite(int field, std::string_view text);

  const std::vector<std::unique_ptr<DBFFields>>& field_objects() const { return field_objects_; }

 protected:
  bool ValidField(int field) const { return field >= 1 && field <= field_count(); }
  const FieldDescriptor& Descriptor(int field) const {
    return descriptors()[static_cast<size_t>(field - 1)];
  }
  bool IsMemoType(int field) const;
  // The base name of the file in the case written, for messages such as "CONTAGEM->ESTOQUE (12a)".
  std::string BaseNameForMessage() const;

 private:
  // Number of a by-name field whose type is one of `types`; raises the engine's messages.
  int TypedField(std::string_view name, std::string_view types) const;

  std::vector<std::unique_ptr<DBFFields>> field_objects_;
};

}  // namespace dbase
