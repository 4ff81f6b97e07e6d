// Table builders: write a new, empty table file (and its memo file when a field is of type M, B
// or G) in the dBase III (DBFBuild), dBase IV (DB4Build) or FoxPro (DBFoxBuild) dialect.
// Usage: construct, AddField for each field, Build. A builder destroyed without Build builds then.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbf/disk_file.h"

namespace dbase {

class DBFBuild {
 public:
  // The name is trimmed; ".DBF" is added when it has no extension.
  explicit DBFBuild(const std::string& file_name);
  // Builds when Build was never called (errors are swallowed), then closes the table file.
  virtual ~DBFBuild();
  DBFBuild(const DBFBuild&) = delete;
  DBFBuild& operator=(const DBFBuild&) = delete;

  // Creates the table file (replacing an existing one) and, when needed, the memo file. Runs once;
  // the table file stays open until the builder is destroyed.
  virtual void Build();
  // An empty name adds nothing. Raises "Invalid field list for table %s" when the length or the
  // decimals do not fit their byte after the type rules, or the name is not printable ASCII.
  virtual void AddField(const std::string& name, char type, int length, int decimals);
  // Header, descriptors, 0x0D and 0x1A into the open table file.
  virtual void WriteHeader();
  // The dBase III memo file: ".dbt", 513 bytes.
  virtual void CreateMemo();

  const std::string& file_name() const { return file_name_; }
  const std::string& base_name() const { return base_name_; }
  bool has_memo() const { return has_memo_; }
  size_t field_count() const { return fields_.size(); }
  int64_t record_length() const { return record_length_; }
  int64_t header_length() const { return 32 * static_cast<int64_t>(fields_.size()) + 33; }
  uint8_t version() const { return has_memo_ ? version_memo_ : version_plain_; }

 protected:
  DBFBuild(const std::string& file_name, uint8_t version_memo);
  // Builds when Build was never called; every destructor of the chain calls it so that the
  // memo file of the most derived class is written.
  void BuildIfPending() noexcept;
  // The table file name with its extension replaced by `extension`, in the case of the table's
  // extension (an existing memo file of any case is replaced in place).
  std::string MemoFileName(const std::string& extension) const;
  // Creates the memo file and writes `header` into it.
  void WriteMemoFile(const std::string& extension, const std::vector<uint8_t>& header) const;
  // Raises the field-list error unless header and record length fit their 16-bit fields.
  void CheckLengths() const;

  uint8_t version_plain_ = 0x03;
  uint8_t version_memo_ = 0x83;
  bool has_memo_ = false;
  std::string file_name_;
  std::string base_name_;
  int64_t record_length_ = 1;  // the deletion flag
  bool write_enabled_ = true;
  bool build_started_ = false;
  bool refused_field_ = false;  // AddField refused a field: no build on destruction
  std::unique_ptr<DiskFile> file_;
  std::vector<std::array<uint8_t, 32>> fields_;
};

class DB4Build final : public DBFBuild {
 public:
  explicit DB4Build(const std::string& file_name);
  ~DB4Build() override;
  // The dBase IV memo file: ".dbt", 24 bytes, block length 512.
  void CreateMemo() override;
};

class DBFoxBuild final : public DBFBuild {
 public:
  explicit DBFoxBuild(const std::string& file_name);
  ~DBFoxBuild() override;
  // The FoxPro memo file: ".fpt", 512 bytes, block size 64.
  void CreateMemo() override;
};

}  // namespace dbase
