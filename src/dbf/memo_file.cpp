// MemoFile: what the three memo formats share (reading, writing, checks against damaged files,
// the memo file lock, renaming) and the dBase III format itself; the factory.
#include "dbf/memo_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "dbf/byte_order.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "dbf/memo_layout.h"
#include "dbf/table_cipher.h"

namespace dbase {

namespace {

using memo_layout::kEndOfText;
using memo_layout::kFileHeaderBytes;
// A dBase III memo without its terminator is read up to this length.
constexpr uint64_t kUnterminatedLimit = 65519;
constexpr size_t kScanChunk = 8192;
constexpr int64_t kMaxBlock = std::numeric_limits<int32_t>::max();
// Longest text written: its stored length, block header included, must fit 32 bits signed.
constexpr size_t kMaxText = static_cast<size_t>(std::numeric_limits<int32_t>::max()) - 16;

// Releases the memo file lock when a write fails half-way.
class MemoLockGuard {
 public:
  explicit MemoLockGuard(DiskFile* file) : file_(file) {}
  ~MemoLockGuard() {
    if (file_ == nullptr) return;
    try {
      file_->Unlock();
    } catch (...) {
      // The error that brought us here is the one to report.
    }
  }
  MemoLockGuard(const MemoLockGuard&) = delete;
  MemoLockGuard& operator=(const MemoLockGuard&) = delete;
  void Hold(DiskFile* file) { file_ = file; }
  void Release() {
    DiskFile* f = file_;
    file_ = nullptr;
    if (f != nullptr) f->Unlock();
  }

 private:
  DiskFile* file_;
};

}  // namespace

std::string MemoFile::MemoFileName(uint8_t table_version, const std::string& table_file_name) {
  const char* extension = table_version == 0xF5 || table_version == 0x30 ? ".fpt" : ".dbt";
  return CompanionFileName(table_file_name, extension);
}

MemoFile::MemoFile(uint8_t table_version, const std::string& table_file_name, bool read_write, bool shared,
                   const std::string& password)
    : MemoFile(table_version, table_file_name, read_write, shared, password, 0, ".dbt") {}

MemoFile::MemoFile(uint8_t table_version, const std::string& table_file_name, bool read_write, bool shared,
                   const std::string& password, uint32_t memo_header_size, const std::string& extension)
    : DiskFile(CompanionFileName(table_file_name, extension), read_write, shared),
      table_version_(table_version),
      memo_header_size_(memo_header_size),
      cipher_(!password.empty()),
      current_password_(password),
      new_password_(password) {
  LockConstantsFor(Default, &lock_constants_);
  Open();
}

// ---- helpers ----

void MemoFile::Bad() const { throw EngineError::Make(kMemoBad, file_name_); }

uint64_t MemoFile::BlocksFor(uint64_t bytes) const {
  const uint64_t size = static_cast<uint64_t>(block_size_);
  return (bytes + size - 1) / size;
}

uint64_t MemoFile::BlockOffset(int64_t block) {
  if (block < first_block_ || block > kMaxBlock) Bad();
  const uint64_t offset = static_cast<uint64_t>(block) * static_cast<uint64_t>(block_size_);
  if (offset >= static_cast<uint64_t>(FileSize())) Bad();
  return offset;
}

int64_t MemoFile::AppendBlock(int64_t next_free) {
  // A next-free block inside the file header or beyond the file's last block is damage: the memo
  // goes at the real end instead, where it overwrites nothing and grows the file by its own size.
  const int64_t end = static_cast<int64_t>(BlocksFor(static_cast<uint64_t>(FileSize())));
  if (next_free < first_block_ || next_free > end) next_free = std::max(end, first_block_);
  return next_free;
}

void MemoFile::LockMemo() {
  const uint64_t a = lock_constants_.append_offset;
  uint64_t offset = a - 1;
  uint64_t length = 1;
  if (lock_protocol_ == DB4Lock) {
    length = 2;
  } else if (lock_protocol_ == ClipLock) {
    offset = a;
  }
  if (!RetriedLock([&] { return Lock(offset, length); })) throw EngineError::Make(kCannotLock, file_name_);
}

// ---- reading ----

uint64_t MemoFile::StoredLength(int64_t block) {
  if (block == 0) return memo_header_size_;
  const uint64_t offset = BlockOffset(block);
  header_.fill(0);
  Read(offset, header_.data(), header_.size());
  const uint64_t stored = ReadStoredLength(block);
  if (stored < memo_header_size_) Bad();
  // The text must lie inside the file: a length larger than the file is damage, and it must never
  // decide how much memory a read takes.
  const uint64_t text_end = offset + ReadPrefix() + (stored - memo_header_size_);
  if (text_end > static_cast<uint64_t>(FileSize())) Bad();
  return stored;
}

int32_t MemoFile::MemoLength(int64_t block) {
  const uint64_t length = StoredLength(block) - memo_header_size_;
  if (length > static_cast<uint64_t>(kMaxBlock)) Bad();
  return static_cast<int32_t>(length);
}

int32_t MemoFile::MemoGet(std::string& out, int64_t block, int64_t length) {
  out.clear();
  if (length <= 0) return 0;
  current_block_ = 0;
  block_count_ = 0;
  if (block == 0) return 0;
  const uint64_t available = static_cast<uint64_t>(MemoLength(block));
  const uint64_t n = std::min(static_cast<uint64_t>(length), available);
  const uint32_t prefix = ReadPrefix();
  current_block_ = static_cast<int32_t>(block);
  block_count_ = static_cast<uint32_t>(BlocksFor(n + prefix));
  out.resize(n);
  const uint64_t offset = static_cast<uint64_t>(block) * static_cast<uint64_t>(block_size_) + prefix;
  if (n > 0 && Read(offset, out.data(), n) != static_cast<int64_t>(n)) throw EngineError::Make(kReadError, file_name_);
  if (cipher_) CipherInPlace(current_password_, out.data(), n);
  return static_cast<int32_t>(n);
}

int32_t MemoFile::MemoGet(void* buffer, int64_t block, int64_t length) {
  if (length <= 0) return 0;
  std::string text;
  MemoGet(text, block, length);
  if (text.empty()) {
    static_cast<char*>(buffer)[0] = 0;
    return 0;
  }
  std::memcpy(buffer, text.data(), text.size());
  return static_cast<int32_t>(text.size());
}

// ---- writing ----

int32_t MemoFile::MemoPut(std::string_view text, int64_t block) {
  keep_old_ = false;
  return Put(text, block);
}

int32_t MemoFile::MemoPutForRecord(std::string_view text, int64_t block) {
  const bool ours = block > 0 && std::find(unreferenced_.begin(), unreferenced_.end(), block) != unreferenced_.end();
  keep_old_ = block > 0 && !ours && ReusesFreedBlocks();
  const bool kept = keep_old_;
  int32_t result = 0;
  try {
    result = Put(text, block);
  } catch (...) {
    keep_old_ = false;
    throw;
  }
  keep_old_ = false;
  if (result == block) return result;
  if (kept) replaced_.push_back(static_cast<int32_t>(block));
  if (ours) unreferenced_.erase(std::find(unreferenced_.begin(), unreferenced_.end(), block));
  if (result > 0) unreferenced_.push_back(result);
  return result;
}

void MemoFile::ReleaseReplaced(const std::vector<int32_t>& before, const std::vector<int32_t>& after) {
  std::vector<int32_t> replaced;
  replaced.swap(replaced_);
  unreferenced_.clear();
  for (size_t i = 0; i < before.size(); ++i) {
    const int32_t old = before[i];
    if (old <= 0 || (i < after.size() && after[i] == old)) continue;
    auto found = std::find(replaced.begin(), replaced.end(), old);
    if (found == replaced.end()) continue;
    replaced.erase(found);
    MemoLockGuard guard(nullptr);
    if (shared_) {
      LockMemo();
      guard.Hold(this);
    }
    try {
      StoredLength(old);
    } catch (const EngineError& e) {
      // What is no longer a memo is never put on the free list.
      if (e.number() != kMemoBad) throw;
      continue;
    }
    FreeBlocks(old);
    guard.Release();
  }
}

void MemoFile::ForgetReplaced() {
  replaced_.clear();
  unreferenced_.clear();
}

int32_t MemoFile::Put(std::string_view text, int64_t block) {
  if (text.size() > kMaxText) throw EngineError::Make(kWriteError, file_name_);
  if (text.empty() && block == 0) return 0;
  MemoLockGuard guard(nullptr);
  if (shared_) {
    LockMemo();
    guard.Hold(this);
  }

  current_block_ = 0;
  block_count_ = 0;
  if (block != 0) {
    try {
      const uint64_t old_size = StoredLength(block) - memo_header_size_ + ReadPrefix();
      current_block_ = static_cast<int32_t>(block);
      block_count_ = static_cast<uint32_t>(BlocksFor(old_size));
    } catch (const EngineError& e) {
      // A damaged old memo is neither written over nor freed: the new text goes to new blocks.
      if (e.number() != kMemoBad) throw;
      current_block_ = 0;
      block_count_ = 0;
    }
  }

  int32_t result = 0;
  if (text.empty()) {
    if (current_block_ > 0 && !keep_old_) FreeBlocks(current_block_);
  } else {
    const auto n = static_cast<uint32_t>(text.size());
    AllocateBlocks(n);
    const uint32_t prefix = WritePrefix();
    const uint64_t total = BlocksFor(uint64_t{n} + prefix + TerminatorSize()) * static_cast<uint64_t>(block_size_);
    std::vector<uint8_t> buffer(total, 0);
    std::copy(header_.begin(), header_.begin() + prefix, buffer.begin());
    std::memcpy(buffer.data() + prefix, text.data(), n);
    if (cipher_) CipherInPlace(new_password_, buffer.data() + prefix, n);
    WriteTerminator(buffer, prefix + n);
    Write(static_cast<uint64_t>(current_block_) * static_cast<uint64_t>(block_size_), buffer.data(), buffer.size());
    result = current_block_;
    MemoWritten();
  }
  guard.Release();
  return result;
}

// ---- dBase III ----

uint64_t MemoFile::ReadStoredLength(int64_t block) {
  // With a password the text is preceded by its length.
  if (!current_password_.empty()) return GetLE32(header_.data());
  // Otherwise the text runs to the first 0x1A.
  const uint64_t start = static_cast<uint64_t>(block) * static_cast<uint64_t>(block_size_);
  const uint64_t size = static_cast<uint64_t>(FileSize());
  std::vector<uint8_t> chunk(kScanChunk);
  uint64_t count = 0;
  while (start + count < size) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kScanChunk, size - start - count));
    const int64_t got = Read(start + count, chunk.data(), want);
    if (got <= 0) break;
    const void* mark = std::memchr(chunk.data(), kEndOfText, static_cast<size_t>(got));
    if (mark != nullptr) return count + static_cast<uint64_t>(static_cast<const uint8_t*>(mark) - chunk.data());
    count += static_cast<uint64_t>(got);
  }
  return std::min(count, kUnterminatedLimit);
}

uint32_t MemoFile::ReadPrefix() const { return current_password_.empty() ? 0 : 4; }

uint32_t MemoFile::WritePrefix() const { return new_password_.empty() ? 0 : 4; }

uint32_t MemoFile::TerminatorSize() const { return 2; }

void MemoFile::WriteTerminator(std::vector<uint8_t>& buffer, size_t position) {
  buffer[position] = kEndOfText;
  buffer[position + 1] = kEndOfText;
}

void MemoFile::AllocateBlocks(uint32_t n) {
  const uint32_t prefix = WritePrefix();
  const uint64_t needed = BlocksFor(uint64_t{prefix} + n + TerminatorSize());
  if (current_block_ <= 0 || block_count_ < needed) {
    uint8_t head[4] = {};
    Read(0, head, sizeof head);
    const int64_t at = AppendBlock(GetLE32(head));
    if (at + static_cast<int64_t>(needed) > kMaxBlock) throw EngineError::Make(kWriteError, file_name_);
    PutLE32(head, static_cast<uint32_t>(at + static_cast<int64_t>(needed)));
    Write(0, head, sizeof head);
    current_block_ = static_cast<int32_t>(at);
  }
  block_count_ = static_cast<uint32_t>(needed);
  header_.fill(0);
  if (prefix == 4) PutLE32(header_.data(), n);
}

void MemoFile::FreeBlocks(int32_t) {}

// ---- settings and renaming ----

void MemoFile::SetLockProtocol(int protocol) {
  LockConstants constants;
  if (!LockConstantsFor(protocol, &constants)) return;
  lock_constants_ = constants;
  lock_protocol_ = protocol;
}

void MemoFile::SetCipher(bool on, const std::string& current_password, const std::string& new_password) {
  cipher_ = on;
  current_password_ = current_password;
  new_password_ = new_password;
}

bool MemoFile::RenameMemoFile(const std::string& new_table_name) {
  // The extension stays; its case follows the renamed table, as for a new memo file.
  const size_t dot = ExtensionDot(file_name_);
  const std::string extension = dot == std::string::npos ? std::string() : file_name_.substr(dot);
  return Rename(CompanionFileName(new_table_name, extension));
}

bool MemoFile::RenameWithTable(const std::string& new_table_name) {
  const bool ok = RenameMemoFile(new_table_name);
  if (ok && read_write_) {
    const std::string name = TrimName(new_table_name);
    const size_t start = NameStart(name);
    const std::string base = WithoutExtension(name).substr(start);
    uint8_t field[9] = {};  // bytes 8-16 of the header
    std::memcpy(field, base.data(), std::min<size_t>(base.size(), 8));
    Write(8, field, sizeof field);
  }
  return ok;
}

std::unique_ptr<MemoFile> OpenMemoFile(uint8_t version, const std::string& table_file_name, bool read_write,
                                       bool shared, const std::string& password) {
  switch (version) {
    case 0x8B:
      return std::make_unique<MemoFile4>(version, table_file_name, read_write, shared, password);
    case 0xF5:
    case 0x30:
      return std::make_unique<FoxMemoFile>(version, table_file_name, read_write, shared, password);
    default:
      return std::make_unique<MemoFile>(version, table_file_name, read_write, shared, password);
  }
}

std::vector<uint8_t> MemoFile::EmptyHeader() {
  std::vector<uint8_t> head(kFileHeaderBytes, 0);
  Read(0, head.data(), head.size());
  PutLE32(head.data(), static_cast<uint32_t>(first_block_));
  return head;
}

}  // namespace dbase
