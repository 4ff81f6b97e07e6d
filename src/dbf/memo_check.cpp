// The memo half of the table check: the memo file header (block size, next free block), the
// memo each reference leads to (inside the file, block header sound, text inside the file, a
// dBase III text ended by 0x1A), references that share or overlap blocks, and the dBase IV free
// list (no loop, no free run over a memo in use).
#include "dbf/memo_check.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

#include "dbf/byte_order.h"
#include "dbf/dbase_dbf.h"
#include "dbf/disk_file.h"
#include "dbf/memo_layout.h"

namespace dbase {

namespace {

// Findings of one kind listed before the rest are only counted.
constexpr int64_t kListedPerKind = 100;
using memo_layout::kDb4MaxBlockSize;
using memo_layout::kDb4MinBlockSize;
using memo_layout::kFileHeaderBytes;
constexpr size_t kScanChunk = 8192;
using memo_layout::kEndOfText;
// The block headers of both formats that have one are this long.
constexpr uint32_t kBlockHeader = memo_layout::kDb4BlockHeader;
static_assert(memo_layout::kFoxBlockHeader == kBlockHeader);

enum class Format { Db3, Db4, Fox };

// Where a readable memo lies: its first block and the number of blocks it takes.
struct Run {
  int64_t block = 0;
  int64_t blocks = 0;
  size_t reference = 0;
};

// What the check makes of the memo at one block.
struct Extent {
  const char* kind = nullptr;  // null when sound
  std::string problem;
  int64_t blocks = 0;
};

class MemoChecker {
 public:
  MemoChecker(const std::string& table_name, const std::string& memo_name, uint8_t version, bool enciphered,
              FindingList& out)
      : table_name_(table_name),
        memo_(memo_name, false, true),
        format_(version == kVersionDb4Memo                             ? Format::Db4
                : version == kVersionFoxMemo || version == kVersionVfp ? Format::Fox
                                                                       : Format::Db3),
        enciphered_(enciphered),
        out_(out) {}

  void Run(const std::vector<MemoReference>& references);

 private:
  void AddMemoFinding(const char* kind, int64_t block, std::string message, bool repairable) {
    TableFinding f;
    f.kind = kind;
    f.file = memo_.file_name();
    f.block = block;
    f.offset = block >= 0 ? block * block_size_ : 0;
    f.message = std::move(message);
    f.repairable = repairable;
    out_.Add(std::move(f));
  }
  void AddReferenceFinding(const char* kind, const MemoReference& r, std::string message) {
    TableFinding f;
    f.kind = kind;
    f.file = table_name_;
    f.record = r.record;
    f.field = r.field;
    f.offset = r.offset;
    f.block = r.block;
    f.message = std::move(message);
    f.repairable = true;
    out_.Add(std::move(f));
  }
  bool ReadFileHeader();
  Extent Measure(int64_t block);
  int64_t Db3TextLength(uint64_t offset, bool* terminated);
  void CheckShared(const std::vector<MemoReference>& references, std::vector<struct Run>& runs);
  void CheckNextFree(int64_t used_end, const std::vector<MemoReference>& references,
                     const std::vector<struct Run>& runs);
  // A run of `runs` (sorted, reach_ filled) that overlaps blocks [block, block + count), or null.
  const struct Run* Overlapping(const std::vector<struct Run>& runs, int64_t block, int64_t count) const;

  std::string table_name_;
  DiskFile memo_;
  Format format_;
  bool enciphered_;
  FindingList& out_;
  int64_t size_ = 0;
  int64_t block_size_ = 512;
  int64_t first_block_ = 1;
  uint8_t header_[32] = {};
  uint64_t unterminated_from_ = UINT64_MAX;
  // For each run of the sorted list, the index of the run reaching furthest among it and those
  // before it.
  std::vector<size_t> reach_;
};

bool MemoChecker::ReadFileHeader() {
  size_ = memo_.FileSize();
  memo_.Read(0, header_, sizeof header_);
  if (format_ == Format::Db4) {
    const uint32_t size = GetLE32(header_ + memo_layout::kDb4BlockSize);
    if (size < kDb4MinBlockSize || size > kDb4MaxBlockSize) {
      AddMemoFinding("memo-file", -1,
                     "the block size " + std::to_string(size) + " in the memo file header is not usable", false);
      return false;
    }
    block_size_ = size;
  } else if (format_ == Format::Fox) {
    const uint32_t size = static_cast<uint32_t>(header_[memo_layout::kFoxBlockSize]) << 8 | header_[memo_layout::kFoxBlockSize + 1];
    if (size == 0) {
      AddMemoFinding("memo-file", -1, "the block size in the memo file header is 0", false);
      return false;
    }
    block_size_ = size;
    first_block_ = static_cast<int64_t>((kFileHeaderBytes + size - 1) / size);
  }
  return true;
}

int64_t MemoChecker::Db3TextLength(uint64_t offset, bool* terminated) {
  std::vector<uint8_t> chunk(kScanChunk);
  uint64_t count = 0;
  const auto size = static_cast<uint64_t>(size_);
  // From `unterminated_from_` on there is no end mark up to the end of the file: memos starting
  // there are not scanned again, so damaged references cost one pass over the file in all.
  while (offset + count < std::min(size, unterminated_from_)) {
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(kScanChunk, std::min(size, unterminated_from_) - offset - count));
    const int64_t got = memo_.Read(offset + count, chunk.data(), want);
    if (got <= 0) break;
    const void* mark = std::memchr(chunk.data(), kEndOfText, static_cast<size_t>(got));
    if (mark != nullptr) {
      *terminated = true;
      return static_cast<int64_t>(count) + (static_cast<const uint8_t*>(mark) - chunk.data());
    }
    count += static_cast<uint64_t>(got);
  }
  unterminated_from_ = std::min(unterminated_from_, offset);
  *terminated = false;
  return static_cast<int64_t>(size - std::min(size, offset));
}

Extent MemoChecker::Measure(int64_t block) {
  Extent e;
  const int64_t blocks_in_file = (size_ + block_size_ - 1) / block_size_;
  if (block < first_block_) {
    e.kind = "memo-reference";
    e.problem = "memo block " + std::to_string(block) + " lies inside the memo file header";
    return e;
  }
  if (block >= blocks_in_file) {
    e.kind = "memo-reference";
    e.problem = "memo block " + std::to_string(block) + " lies past the end of the memo file (" +
                std::to_string(blocks_in_file) + " blocks)";
    return e;
  }
  const auto offset = static_cast<uint64_t>(block * block_size_);
  uint8_t head[kBlockHeader] = {};
  memo_.Read(offset, head, sizeof head);
  uint64_t stored = 0;  // bytes from the block's start to the end of the memo
  auto outside = [&](uint64_t end) {
    if (end <= static_cast<uint64_t>(size_)) return false;
    e.kind = "memo-block";
    e.problem = "the memo at block " + std::to_string(block) + " runs " +
                std::to_string(end - static_cast<uint64_t>(size_)) + " bytes past the end of the memo file";
    return true;
  };
  if (format_ == Format::Db4) {
    if (head[0] != 0xFF || head[1] != 0xFF) {
      e.kind = "memo-block";
      e.problem = "the memo at block " + std::to_string(block) + " lacks the FF FF block header";
      return e;
    }
    stored = GetLE32(head + memo_layout::kDb4StoredLength);
    if (stored < memo_layout::kDb4BlockHeader) {
      e.kind = "memo-block";
      e.problem = "the memo at block " + std::to_string(block) + " gives a length of " + std::to_string(stored) +
                  ", shorter than its block header";
      return e;
    }
    if (outside(offset + stored)) return e;
  } else if (format_ == Format::Fox) {
    const uint32_t type = GetBE32(head);
    if (type != 0 && type != 1) {
      e.kind = "memo-block";
      e.problem = "the memo at block " + std::to_string(block) + " has the unknown type " + std::to_string(type);
      return e;
    }
    stored = uint64_t{GetBE32(head + memo_layout::kFoxTextLength)} + memo_layout::kFoxBlockHeader;
    if (outside(offset + stored)) return e;
  } else if (enciphered_) {
    // A memo of a table with a password starts with its length.
    stored = uint64_t{GetLE32(head)} + 4;
    if (outside(offset + stored)) return e;
  } else {
    bool terminated = false;
    stored = static_cast<uint64_t>(Db3TextLength(offset, &terminated)) + 1;
    if (!terminated) {
      e.kind = "memo-block";
      e.problem =
          "the memo at block " + std::to_string(block) + " has no end mark 0x1A before the end of the memo file";
      return e;
    }
  }
  e.blocks = std::max<int64_t>(
      1, static_cast<int64_t>((stored + static_cast<uint64_t>(block_size_) - 1) / static_cast<uint64_t>(block_size_)));
  return e;
}

const Run* MemoChecker::Overlapping(const std::vector<struct Run>& runs, int64_t block, int64_t count) const {
  // Among the runs starting before `block + count`, the one reaching furthest overlaps if any does.
  auto after = std::lower_bound(runs.begin(), runs.end(), block + count,
                                [](const struct Run& r, int64_t at) { return r.block < at; });
  if (after == runs.begin()) return nullptr;
  const struct Run& furthest = runs[reach_[static_cast<size_t>(after - runs.begin()) - 1]];
  return furthest.block + furthest.blocks > block ? &furthest : nullptr;
}

void MemoChecker::CheckShared(const std::vector<MemoReference>& references, std::vector<struct Run>& runs) {
  std::sort(runs.begin(), runs.end(), [](const struct Run& a, const struct Run& b) {
    return a.block != b.block ? a.block < b.block : a.reference < b.reference;
  });
  const struct Run* holder = nullptr;  // the run reaching furthest so far
  for (const struct Run& run : runs) {
    if (holder != nullptr && run.block < holder->block + holder->blocks) {
      const MemoReference& other = references[holder->reference];
      const std::string with = "record " + std::to_string(other.record) + ", field " + other.field;
      AddReferenceFinding("memo-shared", references[run.reference],
                          run.block == holder->block
                              ? "memo block " + std::to_string(run.block) + " is also the memo of " + with
                              : "the memo at block " + std::to_string(run.block) + " overlaps the memo of " + with +
                                    " at block " + std::to_string(holder->block));
    }
    if (holder == nullptr || run.block + run.blocks > holder->block + holder->blocks) holder = &run;
    reach_.push_back(static_cast<size_t>(holder - runs.data()));
  }
}

void MemoChecker::CheckNextFree(int64_t used_end, const std::vector<MemoReference>& references,
                                const std::vector<struct Run>& runs) {
  if (format_ != Format::Db4) {
    const int64_t next = format_ == Format::Fox ? GetBE32(header_) : GetLE32(header_);
    if (next < used_end) {
      AddMemoFinding("memo-file", -1,
                     "the next free block " + std::to_string(next) +
                         " lies before the end of the memos in use (block " + std::to_string(used_end) +
                         "): new memos would be written over them",
                     true);
    }
    return;
  }
  // dBase IV: the free list, from the header's first free block, as a write walks it.
  const int64_t end = size_ / block_size_;
  int64_t link = GetLE32(header_);
  int64_t steps = 0;
  while (link >= first_block_ && link < end) {
    if (++steps > end) {
      AddMemoFinding("memo-free-list", link, "the free list of the memo file runs in a loop", true);
      return;
    }
    uint8_t head[8] = {};
    memo_.Read(static_cast<uint64_t>(link * block_size_), head, sizeof head);
    const int64_t next = GetLE32(head);
    const int64_t count = GetLE32(head + memo_layout::kDb4RunBlocks);
    if (const struct Run* used = Overlapping(runs, link, std::max<int64_t>(count, 1))) {
      const MemoReference& r = references[used->reference];
      AddMemoFinding("memo-free-list", link,
                     "the free run at block " + std::to_string(link) + " (" + std::to_string(count) +
                         " blocks) lies over the memo of record " + std::to_string(r.record) + ", field " + r.field +
                         " at block " + std::to_string(used->block) + ": a new memo would be written over it",
                     true);
      return;
    }
    link = next;
  }
}

void MemoChecker::Run(const std::vector<MemoReference>& references) {
  if (!memo_.exists()) {
    AddMemoFinding("memo-file", -1, "the memo file is missing", false);
    return;
  }
  memo_.Open();
  if (!ReadFileHeader()) return;
  std::map<int64_t, Extent> measured;
  std::vector<struct Run> runs;
  int64_t used_end = first_block_;
  for (size_t i = 0; i < references.size(); ++i) {
    const MemoReference& r = references[i];
    auto found = measured.find(r.block);
    if (found == measured.end()) found = measured.emplace(r.block, Measure(r.block)).first;
    const Extent& e = found->second;
    if (e.kind != nullptr) {
      AddReferenceFinding(e.kind, r, e.problem);
      continue;
    }
    runs.push_back({r.block, e.blocks, i});
    used_end = std::max(used_end, r.block + e.blocks);
  }
  CheckShared(references, runs);
  CheckNextFree(used_end, references, runs);
}

}  // namespace

void FindingList::Add(TableFinding finding) {
  int64_t& count = counts_[finding.kind];
  if (++count > kListedPerKind) {
    ++result_.omitted[finding.kind];
    return;
  }
  result_.findings.push_back(std::move(finding));
}

void CheckMemoFile(const std::string& table_name, const std::string& memo_name, uint8_t version, bool enciphered,
                   const std::vector<MemoReference>& references, FindingList& out) {
  MemoChecker(table_name, memo_name, version, enciphered, out).Run(references);
}

}  // namespace dbase
