// FoxMemoFile: the FoxPro memo format. All numbers big-endian. Header (512 bytes): bytes 0-3 the
// next free block, bytes 6-7 the block size. A memo starts with its type (1 = text; 0 is read as
// text too) and its text length, 4 bytes each, and is zero-filled to the end of its last block.
#include "dbf/byte_order.h"
#include "dbf/errors.h"
#include "dbf/memo_file.h"
#include "dbf/memo_layout.h"

namespace dbase {

namespace {
constexpr uint32_t kBlockHeader = memo_layout::kFoxBlockHeader;
constexpr uint64_t kFileHeader = memo_layout::kFileHeaderBytes;
constexpr int64_t kMaxBlock = 0x7FFFFFFF;
}  // namespace

FoxMemoFile::FoxMemoFile(uint8_t table_version, const std::string& table_file_name, bool read_write, bool shared,
                         const std::string& password)
    : MemoFile(table_version, table_file_name, read_write, shared, password, kBlockHeader, ".fpt") {
  uint8_t head[8] = {};
  Read(0, head, sizeof head);
  const uint32_t size = static_cast<uint32_t>(head[memo_layout::kFoxBlockSize]) << 8 | head[memo_layout::kFoxBlockSize + 1];
  if (size == 0) Bad();
  block_size_ = static_cast<int32_t>(size);
  first_block_ = static_cast<int64_t>(BlocksFor(kFileHeader));
}

uint64_t FoxMemoFile::ReadStoredLength(int64_t) {
  const uint32_t type = GetBE32(header_.data());
  if (type != 1 && type != 0) Bad();
  return uint64_t{GetBE32(header_.data() + memo_layout::kFoxTextLength)} + kBlockHeader;
}

uint32_t FoxMemoFile::ReadPrefix() const { return kBlockHeader; }

uint32_t FoxMemoFile::WritePrefix() const { return kBlockHeader; }

uint32_t FoxMemoFile::TerminatorSize() const { return 0; }

void FoxMemoFile::WriteTerminator(std::vector<uint8_t>&, size_t) {}

void FoxMemoFile::AllocateBlocks(uint32_t n) {
  const uint64_t needed = BlocksFor(uint64_t{kBlockHeader} + n);
  if (current_block_ <= 0 || block_count_ < needed) {
    uint8_t head[4] = {};
    Read(0, head, sizeof head);
    const int64_t at = AppendBlock(GetBE32(head));
    if (at + static_cast<int64_t>(needed) > kMaxBlock) throw EngineError::Make(kWriteError, file_name_);
    PutBE32(head, static_cast<uint32_t>(at + static_cast<int64_t>(needed)));
    Write(0, head, sizeof head);
    current_block_ = static_cast<int32_t>(at);
  }
  block_count_ = static_cast<uint32_t>(needed);
  header_.fill(0);
  PutBE32(header_.data(), 1);
  PutBE32(header_.data() + memo_layout::kFoxTextLength, n);
}

std::vector<uint8_t> FoxMemoFile::EmptyHeader() {
  std::vector<uint8_t> head(kFileHeader, 0);
  Read(0, head.data(), head.size());
  PutBE32(head.data(), static_cast<uint32_t>(first_block_));  // 512 / block size, rounded up
  return head;
}

bool FoxMemoFile::RenameWithTable(const std::string& new_table_name) { return RenameMemoFile(new_table_name); }

}  // namespace dbase
