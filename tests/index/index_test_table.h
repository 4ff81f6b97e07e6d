// TestTable: the IndexTable a table handler will offer, over a dBaseFld, for the index tests:
// records read as stored (in 32 KB runs for builds), the previous contents of a record being
// written, and key maintenance of attached index files on every write. A cipher password can
// be set to encipher index blocks without enciphering the table.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbase_fld.h"
#include "dbf/errors.h"
#include "dbf/table_cipher.h"
#include "handler/table_link.h"
#include "index/index_file.h"
#include "index/index_table.h"

namespace dbase::testing_index {

class TestTable : public dBaseFld, public IndexTable {
 public:
  TestTable(const std::string& path, bool read_write = false, bool shared = false)
      : dBaseFld(path, "", read_write, shared), link_(MakeTableLink(*this)) {}

  // Index files told about every write.
  std::vector<IndexFile*> attached;
  std::string cipher_password;
  bool production_marked = false;
  std::vector<std::array<int, 3>> reports;
  bool keep_reports = false;

  std::string TableFileName() const override { return file_name(); }
  ExpUserLink* ExpressionLink() override { return link_.get(); }
  int32_t RecordCount() override { return record_count(); }
  void GoRecord(int32_t n) override {
    WriteAppendedRecords();  // an exclusive table holds its newest appends in memory
    const int length = record_length();
    const int64_t offset = static_cast<int64_t>(RecordOffset(n));
    if (offset < run_start_ || offset + length > run_end_) {
      run_.resize(std::max<size_t>(32768, static_cast<size_t>(length)));
      const int64_t got = Read(static_cast<uint64_t>(offset), run_.data(), run_.size());
      run_start_ = offset;
      run_end_ = offset + got;
      if (offset + length > run_end_) throw EngineError::Make(kReadError, file_name());
    }
    SetRecordPointer(nullptr);
    std::memcpy(record(), run_.data() + (offset - run_start_), static_cast<size_t>(length));
    SetRecordNumber(n);
  }
  int32_t CurrentRecord() const override { return record_number(); }
  const uint8_t* RecordBytes() const override { return record(); }
  bool UsePreviousContents(bool on) override {
    if (on) {
      previous_ = saved_record();
      SetRecordPointer(previous_.data());
    } else {
      SetRecordPointer(nullptr);
    }
    return true;
  }
  bool FindField(std::string_view name, IndexField* field) const override {
    const int n = FieldNumber(name);
    if (n == 0) return false;
    const FieldDescriptor& d = descriptors()[static_cast<size_t>(n - 1)];
    *field = IndexField{d.type, d.length, d.decimals, d.offset};
    return true;
  }
  bool Shared() const override { return shared(); }
  bool ReadWrite() const override { return read_write(); }
  int LockProtocol() const override { return lock_protocol(); }
  bool ExactSearch() const override { return exact_search(); }
  bool Encrypted() const override { return !cipher_password.empty(); }
  void Cipher(uint8_t* bytes, size_t length) override { CipherInPlace(cipher_password, bytes, length); }
  void MarkProductionIndex() override { production_marked = true; }
  void StatusReport(int stat1, int stat2, int stat3) override {
    if (keep_reports) reports.push_back({stat1, stat2, stat3});
  }

  bool Notify(int event, int32_t record) override {
    if (event == kEventAfterWrite) {
      run_start_ = run_end_ = 0;
      for (IndexFile* f : attached) f->UpdateRecord(record_number(), record == 0);
    }
    return dBaseFld::Notify(event, record);
  }

 private:
  std::unique_ptr<ExpUserLink> link_;
  std::vector<uint8_t> run_;
  int64_t run_start_ = 0;
  int64_t run_end_ = 0;
  std::vector<uint8_t> previous_;
};

}  // namespace dbase::testing_index
