// Final checks of the transfer stress test, over the engine's reading of the table and over the
// raw bytes of the table and memo files.
#include "stress/transfer_check.h"

#include <algorithm>
#include <set>

#include "dbf/byte_order.h"
#include "dbf/memo_file.h"
#include "support/temp_dir.h"

namespace stress {

namespace {

// A memo's blocks: [first, first + count).
struct Extent {
  int64_t first = 0;
  int64_t count = 0;
  std::string owner;
};

void CheckTableBytes(const std::string& path, std::vector<std::string>& problems) {
  const std::string bytes = testsupport::ReadFileBytes(path);
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  const int64_t stated = dbase::GetLE32(b + 4);
  const int64_t header = dbase::GetLE16(b + 8);
  const int64_t length = dbase::GetLE16(b + 10);
  const int64_t size = static_cast<int64_t>(bytes.size());
  const int64_t records = (size - header) / length;
  if (stated != records) {
    problems.push_back("the header says " + std::to_string(stated) + " records, the file holds " +
                       std::to_string(records));
  }
  if (size != header + records * length + 1 || bytes.back() != '\x1A') {
    problems.push_back("the file of " + std::to_string(size) + " bytes is not " + std::to_string(records) +
                       " whole records followed by the end marker");
  }
}

// The blocks a memo of `text_length` bytes takes in each format.
int64_t MemoBlocks(MemoFormat format, int64_t text_length, int64_t block_size) {
  const int64_t overhead = format == MemoFormat::kDb3 ? 2 : 8;
  return (text_length + overhead + block_size - 1) / block_size;
}

// Live memos must not share a block with each other, nor with a free run, and the next block
// handed out must lie past all of them.
void CheckMemoBlocks(const std::string& memo_path, MemoFormat format, int64_t block_size,
                     std::vector<Extent> extents, std::vector<std::string>& problems) {
  const std::string bytes = testsupport::ReadFileBytes(memo_path);
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  const int64_t end = (static_cast<int64_t>(bytes.size()) + block_size - 1) / block_size;
  std::sort(extents.begin(), extents.end(), [](const Extent& x, const Extent& y) { return x.first < y.first; });
  int64_t used_end = 1;
  for (size_t i = 0; i < extents.size(); ++i) {
    if (i > 0 && extents[i].first < extents[i - 1].first + extents[i - 1].count) {
      problems.push_back("the memos of " + extents[i - 1].owner + " and " + extents[i].owner + " share block " +
                         std::to_string(extents[i].first));
    }
    used_end = std::max(used_end, extents[i].first + extents[i].count);
  }
  if (used_end > end) problems.push_back("a memo reaches past the end of the memo file");

  if (format == MemoFormat::kDb4) {
    int64_t run = dbase::GetLE32(b);
    int64_t steps = 0;
    while (run >= 1 && run < end) {
      if (++steps > end) {
        problems.push_back("the free list loops");
        break;
      }
      const auto* head = b + run * block_size;
      const int64_t next = dbase::GetLE32(head);
      const int64_t size = dbase::GetLE32(head + 4);
      auto after = std::upper_bound(extents.begin(), extents.end(), run,
                                    [](int64_t v, const Extent& e) { return v < e.first; });
      const bool overlaps_before = after != extents.begin() && std::prev(after)->first + std::prev(after)->count > run;
      const bool overlaps_after = after != extents.end() && after->first < run + size;
      if (overlaps_before || overlaps_after) {
        problems.push_back("free run at block " + std::to_string(run) + " of " + std::to_string(size) +
                           " blocks holds a live memo");
      }
      run = next;
    }
  } else {
    const int64_t next_free = format == MemoFormat::kFox ? dbase::GetBE32(b) : dbase::GetLE32(b);
    if (next_free < used_end) {
      problems.push_back("the next free block " + std::to_string(next_free) + " lies inside the memos (used up to " +
                         std::to_string(used_end) + ")");
    }
  }
}

}  // namespace

std::vector<std::string> CheckFinalTable(const std::string& path, MemoFormat format, const Expected& expected) {
  std::vector<std::string> problems;
  CheckTableBytes(path, problems);

  AccountTable t(path, dbase::Default, false);
  if (t.record_count() != expected.records) {
    problems.push_back("the table holds " + std::to_string(t.record_count()) + " records, " +
                       std::to_string(expected.records) + " were written");
  }
  int64_t sum = 0;
  int64_t versions = 0;
  std::set<std::string> ids;
  std::vector<Extent> extents;
  const int64_t block_size = t.memo()->block_size();
  for (int32_t r = 1; r <= t.record_count() && problems.size() < 20; ++r) {
    t.GetRecord(r);
    std::string why;
    if (!t.Whole(&why)) {
      problems.push_back("record " + std::to_string(r) + " torn: " + why);
      continue;
    }
    if (!t.MemoIntact(&why)) problems.push_back("record " + std::to_string(r) + ": " + why);
    if (!ids.insert(t.Id()).second) problems.push_back("record " + std::to_string(r) + " repeats id " + t.Id());
    sum += t.Balance();
    versions += t.Version();
    const auto block = static_cast<int64_t>(t.NumberGet(kNote));
    extents.push_back({block, MemoBlocks(format, t.MemoSize(kNote), block_size), t.Id()});
  }
  if (sum != expected.total) {
    problems.push_back("balances add up to " + std::to_string(sum) + " instead of " + std::to_string(expected.total));
  }
  if (versions != expected.versions) {
    problems.push_back("records carry " + std::to_string(versions) + " writes, the transferers made " +
                       std::to_string(expected.versions) + " (a write was lost)");
  }
  if (problems.empty()) CheckMemoBlocks(t.memo()->file_name(), format, block_size, extents, problems);
  return problems;
}

}  // namespace stress
