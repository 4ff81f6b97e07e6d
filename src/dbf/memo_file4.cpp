// MemoFile4: the dBase IV memo format. Header: bytes 0-3 the first free block (head of the free
// list, or the end of the used blocks), bytes 20-23 the block size. A memo starts with FF FF 08 00
// and the 32-bit length of header plus text; a free run starts with its next link and its size in
// blocks. The chain ends at the first link that is not a block of the file.
#include <algorithm>
#include <limits>
#include <vector>

#include "dbf/byte_order.h"
#include "dbf/errors.h"
#include "dbf/memo_file.h"
#include "dbf/memo_layout.h"

namespace dbase {

namespace {
constexpr uint32_t kBlockHeader = memo_layout::kDb4BlockHeader;
// Block sizes outside this range are damage: the file header (24 bytes) must fit block 0, and a
// block is the unit of every scratch buffer.
using memo_layout::kDb4MaxBlockSize;
using memo_layout::kDb4MinBlockSize;
constexpr int64_t kMaxBlock = 0x7FFFFFFF;
}  // namespace

MemoFile4::MemoFile4(uint8_t table_version, const std::string& table_file_name, bool read_write, bool shared,
                     const std::string& password)
    : MemoFile(table_version, table_file_name, read_write, shared, password, kBlockHeader, ".dbt") {
  uint8_t head[32] = {};
  Read(0, head, sizeof head);
  const uint32_t size = GetLE32(head + memo_layout::kDb4BlockSize);
  if (size < kDb4MinBlockSize || size > kDb4MaxBlockSize) Bad();
  block_size_ = static_cast<int32_t>(size);
  const int64_t file_size = FileSize();
  if (read_write && file_size < block_size_) {
    std::vector<uint8_t> zeros(static_cast<size_t>(block_size_ - file_size), 0);
    Write(static_cast<uint64_t>(file_size), zeros.data(), zeros.size());
  }
}

uint64_t MemoFile4::ReadStoredLength(int64_t) {
  if (header_[0] != 0xFF || header_[1] != 0xFF) Bad();
  return GetLE32(header_.data() + memo_layout::kDb4StoredLength);
}

uint32_t MemoFile4::ReadPrefix() const { return kBlockHeader; }

uint32_t MemoFile4::WritePrefix() const { return kBlockHeader; }

uint32_t MemoFile4::TerminatorSize() const { return 0; }

void MemoFile4::WriteTerminator(std::vector<uint8_t>&, size_t) {}

void MemoFile4::FreeBlocks(int32_t block) {
  const uint64_t offset = static_cast<uint64_t>(block) * static_cast<uint64_t>(block_size_);
  uint8_t memo_head[8] = {};
  Read(offset, memo_head, sizeof memo_head);
  PushFreeRun(block, static_cast<uint32_t>(BlocksFor(GetLE32(memo_head + memo_layout::kDb4StoredLength))));
}

void MemoFile4::PushFreeRun(int64_t block, uint32_t run) {
  uint8_t head[8] = {};
  Read(0, head, sizeof head);
  uint8_t link[8] = {};
  PutLE32(link, GetLE32(head));
  PutLE32(link + 4, run);
  Write(static_cast<uint64_t>(block) * static_cast<uint64_t>(block_size_), link, sizeof link);
  PutLE32(head, static_cast<uint32_t>(block));
  PutLE32(head + 4, 0);
  Write(0, head, sizeof head);
}

void MemoFile4::MemoWritten() {
  const Released released = released_;
  released_ = Released();
  if (released.tail_size > 0) PushFreeRun(released.tail, released.tail_size);
  if (released.old > 0) FreeBlocks(released.old);
}

int64_t MemoFile4::BlockEnd() {
  int64_t file_size = FileSize();
  if (file_size == 0) {
    std::vector<uint8_t> zeros(static_cast<size_t>(block_size_), 0);
    Write(0, zeros.data(), zeros.size());
    file_size = block_size_;
  }
  // Rounded up, so that a last memo another program left unpadded is never written over.
  return static_cast<int64_t>(BlocksFor(static_cast<uint64_t>(file_size)));
}

MemoFile4::FreeRun MemoFile4::FindFreeRun(int64_t end, uint64_t needed) {
  uint8_t head[8] = {};
  Read(0, head, sizeof head);
  FreeRun found;
  int64_t candidate = GetLE32(head);
  // Runs are disjoint, so a walk longer than the file's block count means the list loops.
  int64_t steps = 0;
  while (candidate >= first_block_ && candidate < end) {
    if (++steps > end) Bad();
    uint8_t run_head[8] = {};
    Read(static_cast<uint64_t>(candidate) * static_cast<uint64_t>(block_size_), run_head, sizeof run_head);
    const uint32_t next = GetLE32(run_head);
    const uint32_t run = GetLE32(run_head + memo_layout::kDb4RunBlocks);
    if (run >= needed) {
      found.block = candidate;
      found.next = next;
      found.size = run;
      return found;
    }
    found.previous = candidate;
    candidate = next;
  }
  return found;
}

void MemoFile4::AllocateBlocks(uint32_t n) {
  const uint64_t needed = BlocksFor(uint64_t{kBlockHeader} + n);
  const int64_t end = BlockEnd();
  released_ = Released();
  int64_t chosen = current_block_;
  if (current_block_ > 0 && block_count_ >= needed) {
    // The text fits the old run: one write replaces the memo, so it reads as the old text or the
    // new one; the blocks it no longer needs stay on the list in its place once it is written.
    if (block_count_ > needed) {
      released_.tail = current_block_ + static_cast<int64_t>(needed);
      released_.tail_size = static_cast<uint32_t>(block_count_ - needed);
    }
  } else {
    // The old memo is given up only after the new text is written (and, for a record on disk
    // that points at it, after the record is written: keep_old_), so that no failure between
    // leaves a record pointing at freed blocks.
    if (current_block_ > 0 && !keep_old_) released_.old = current_block_;
    const FreeRun run = FindFreeRun(end, needed);
    chosen = run.block;
    uint64_t replacement = run.next;
    if (chosen < 0) {
      chosen = end;
      replacement = static_cast<uint64_t>(end) + needed;
    }
    if (chosen + static_cast<int64_t>(needed) > kMaxBlock) throw EngineError::Make(kWriteError, file_name_);
    if (run.block >= 0 && run.size > needed) {
      // The rest of the run stays on the list in the run's place.
      const uint64_t rest = static_cast<uint64_t>(chosen) + needed;
      uint8_t rest_head[8] = {};
      PutLE32(rest_head, run.next);
      PutLE32(rest_head + 4, static_cast<uint32_t>(run.size - needed));
      Write(rest * static_cast<uint64_t>(block_size_), rest_head, sizeof rest_head);
      replacement = rest;
    }

    uint8_t link[4] = {};
    PutLE32(link, static_cast<uint32_t>(replacement));
    Write(static_cast<uint64_t>(run.previous) * static_cast<uint64_t>(block_size_), link, sizeof link);
  }

  current_block_ = static_cast<int32_t>(chosen);
  block_count_ = static_cast<uint32_t>(needed);
  header_.fill(0);
  header_[0] = 0xFF;
  header_[1] = 0xFF;
  header_[2] = 0x08;
  header_[3] = 0x00;
  PutLE32(header_.data() + memo_layout::kDb4StoredLength, n + kBlockHeader);
}

}  // namespace dbase
