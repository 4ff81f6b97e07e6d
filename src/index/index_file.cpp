// IndexFile: disk file, tags, the index lock, enciphered block access and gathered writes.
#include "index/index_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "index/index_table.h"
#include "platform/ascii_case.h"

namespace dbase {

namespace {
constexpr size_t kCipherPiece = 512;
constexpr size_t kBulkBytes = 1 << 20;
constexpr size_t kCacheSlots = 32768;  // of one block each, filled as read: at most 32 MB per file
constexpr uint64_t kCacheGrain = 512;
constexpr uint8_t kMark[4] = {'Q', 'R', 'B', '!'};

// The index lock region of a protocol: (offset, length).
void LockRegion(int protocol, uint64_t* offset, uint64_t* length) {
  switch (protocol) {
    case DB4Lock:
      *offset = 0xEFFFFFFEull;
      *length = 2;
      return;
    case ClipLock:
      *offset = 1000000000ull;
      *length = 1;
      return;
    default:
      *offset = 0x7FFFFFFDull;
      *length = 1;
      return;
  }
}
}  // namespace

IndexFile::IndexFile(IndexTable& table, const std::string& path) : table_(table), path_(path) {
  SetLockProtocol(table.LockProtocol());
}

IndexFile::~IndexFile() {
  try {
    if (disk_ && disk_->is_open()) Flush();
  } catch (...) {
    // A destructor must not throw; the file is closed below in any case.
  }
  tags_.clear();
}

std::string IndexFile::file_name() const {
  const std::string& p = disk_ ? disk_->file_name() : path_;
  return p.substr(NameStart(p));
}

void IndexFile::OpenDisk(bool create) {
  if (create) {
    disk_ = std::make_unique<DiskFile>(path_, true, false);
    if (disk_->exists()) std::remove(disk_->file_name().c_str());
    disk_ = std::make_unique<DiskFile>(path_, true, false);
    disk_->Create();
  } else {
    disk_ = std::make_unique<DiskFile>(path_, table_.ReadWrite(), table_.Shared());
    disk_->Open();
  }
  path_ = disk_->file_name();
}

IndexTag* IndexFile::FindTag(std::string_view name) const {
  const std::string wanted = platform::UpperAscii(std::string(name));
  for (const auto& t : tags_) {
    if (platform::UpperAscii(t->name()) == wanted) return t.get();
  }
  return nullptr;
}

void IndexFile::DeleteTag(const std::string& name) { throw EngineError::Make(kNoIndexTag, name); }

bool IndexFile::Rename(const std::string& new_base_name) {
  const std::string& old = disk_->file_name();
  const size_t dot = ExtensionDot(old);
  const std::string extension = dot == std::string::npos ? "" : old.substr(dot);
  const bool ok = disk_->Rename(old.substr(0, NameStart(old)) + BaseName(new_base_name) + extension);
  path_ = disk_->file_name();
  return ok;
}

bool IndexFile::UpdateRecord(int32_t record, bool is_new) {
  IndexLockScope lock(*this);
  bool changed = false;
  for (auto& t : tags_) changed |= t->UpdateRecord(record, is_new);
  return changed;
}

void IndexFile::Flush() {
  if (disk_ && disk_->is_open() && disk_->written()) disk_->Flush();
}

void IndexFile::Recrypt(const CipherFunction& from, const CipherFunction& to) {
  const bool locked = disk_->LockFile();
  try {
    DropCachedBlocks();
    for (auto& t : tags_) t->Release();
    const uint64_t size = static_cast<uint64_t>(disk_->FileSize());
    uint8_t piece[kCipherPiece];
    for (uint64_t at = 0; at < size; at += kCipherPiece) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kCipherPiece, size - at));
      if (disk_->Read(at, piece, n) != static_cast<int64_t>(n)) Corrupted();
      if (from) from(piece, n);
      if (to) to(piece, n);
      disk_->Write(at, piece, n);
    }
  } catch (...) {
    mark_image_valid_ = false;
    if (locked) disk_->Unlock();
    throw;
  }
  mark_image_valid_ = false;
  if (locked) disk_->Unlock();
}

bool IndexFile::Lock() {
  if (!disk_->shared()) {
    ++lock_depth_;
    return true;
  }
  if (lock_depth_ > 0) {
    ++lock_depth_;
    return true;
  }
  uint64_t offset = 0;
  uint64_t length = 0;
  LockRegion(lock_protocol_, &offset, &length);
  if (!RetriedLock([&] { return disk_->Lock(offset, length); })) return false;
  lock_depth_ = 1;
  // Another process may have written while we did not hold the lock.
  DropCachedBlocks();
  try {
    // A mark found under the lock was left by a writer that failed or died part-way.
    if (!marked_ && MarkFound()) Corrupted();
    AfterLock();
    for (auto& t : tags_) {
      if (t->ChangedByOther()) t->ReadHeader();
      t->Release();
    }
  } catch (...) {
    Unlock();
    throw;
  }
  return true;
}

void IndexFile::LockOrRaise() {
  if (!Lock()) throw EngineError::Make(kCannotLock, path());
}

void IndexFile::Unlock() {
  if (lock_depth_ <= 0) return;
  if (--lock_depth_ == 0 && disk_->shared()) disk_->Unlock();
}

void IndexFile::SetLockProtocol(int protocol) {
  if (LockConstantsFor(protocol, &lock_constants_)) lock_protocol_ = protocol;
}

int64_t IndexFile::FileSize() {
  if (bulk_) return std::max<int64_t>(disk_->FileSize(), static_cast<int64_t>(bulk_end_));
  return disk_->FileSize();
}

IndexFile::CachedBlock* IndexFile::CacheSlot(uint64_t offset) {
  if (disk_->shared()) return nullptr;
  if (cache_.empty()) cache_.resize(kCacheSlots);
  // Spread, so that pages of any size use every slot.
  return &cache_[((offset / kCacheGrain) * 2654435761u) % kCacheSlots];
}

void IndexFile::DropCachedBlocks() {
  cache_.clear();
  mark_image_valid_ = false;
}

void IndexFile::TruncateFile(uint64_t size) {
  DropCachedBlocks();
  disk_->Truncate(size);
}

void IndexFile::ReadBlock(uint64_t offset, uint8_t* buffer, size_t length) {
  CachedBlock* slot = CacheSlot(offset);
  if (slot != nullptr && slot->offset == offset && slot->bytes.size() == length) {
    std::memcpy(buffer, slot->bytes.data(), length);
    return;
  }
  if (bulk_) FlushBulk();
  if (disk_->Read(offset, buffer, length) != static_cast<int64_t>(length)) Corrupted();
  if (table_.Encrypted()) {
    for (size_t at = 0; at < length; at += kCipherPiece) table_.Cipher(buffer + at, std::min(kCipherPiece, length - at));
  }
  if (slot != nullptr) {
    slot->offset = offset;
    slot->bytes.assign(buffer, buffer + length);
  }
}

void IndexFile::WriteBlock(uint64_t offset, const uint8_t* buffer, size_t length) {
  // A header written while the mark stands carries it.
  const MarkPlace place = mark_place();
  const uint64_t mark = place.block + place.at;
  if (marked_ && offset <= mark && offset + length >= mark + sizeof(kMark)) {
    mark_buffer_.assign(buffer, buffer + length);
    std::memcpy(mark_buffer_.data() + (mark - offset), kMark, sizeof(kMark));
    buffer = mark_buffer_.data();
  }
  // The header image the mark is written into follows the writes of its block.
  if (offset < place.block + place.length && offset + length > place.block) {
    mark_image_valid_ = offset == place.block && length == place.length;
    if (mark_image_valid_) mark_image_.assign(buffer, buffer + length);
  }
  // Blocks kept in memory that the write touches take its bytes or are forgotten.
  for (uint64_t at = offset / kCacheGrain * kCacheGrain; at < offset + length && !disk_->shared(); at += kCacheGrain) {
    CachedBlock* slot = CacheSlot(at);
    if (slot->offset != at) continue;
    if (at == offset && slot->bytes.size() == length) {
      slot->bytes.assign(buffer, buffer + length);
    } else {
      slot->offset = UINT64_MAX;
    }
  }
  const uint8_t* bytes = buffer;
  if (table_.Encrypted()) {
    cipher_buffer_.assign(buffer, buffer + length);
    for (size_t at = 0; at < length; at += kCipherPiece) {
      table_.Cipher(cipher_buffer_.data() + at, std::min(kCipherPiece, length - at));
    }
    bytes = cipher_buffer_.data();
  }
  if (!bulk_) {
    try {
      disk_->Write(offset, bytes, length);
    } catch (...) {
      // What the file holds there is not known: nothing kept in memory stands for it.
      DropCachedBlocks();
      throw;
    }
    return;
  }
  // Gathered: a write inside or right after the gathered stretch joins it; any other first
  // writes out what was gathered.
  if (bulk_end_ > bulk_start_ && (offset < bulk_start_ || offset > bulk_end_ || offset + length - bulk_start_ > kBulkBytes)) {
    FlushBulk();
  }
  if (bulk_end_ == bulk_start_) {
    bulk_start_ = offset;
    bulk_end_ = offset;
  }
  const size_t at = static_cast<size_t>(offset - bulk_start_);
  if (bulk_buffer_.size() < at + length) bulk_buffer_.resize(std::max(at + length, kBulkBytes));
  std::memcpy(bulk_buffer_.data() + at, bytes, length);
  bulk_end_ = std::max<uint64_t>(bulk_end_, offset + length);
}

void IndexFile::BeginBulkWrite() {
  bulk_ = true;
  bulk_start_ = bulk_end_ = 0;
}

void IndexFile::EndBulkWrite() {
  FlushBulk();
  bulk_ = false;
  bulk_buffer_ = {};
}

void IndexFile::FlushBulk() {
  if (bulk_end_ > bulk_start_) disk_->Write(bulk_start_, bulk_buffer_.data(), static_cast<size_t>(bulk_end_ - bulk_start_));
  bulk_start_ = bulk_end_ = 0;
}

bool IndexFile::MarkFound() {
  const MarkPlace place = mark_place();
  mark_image_.resize(place.length);
  ReadBlock(place.block, mark_image_.data(), mark_image_.size());
  mark_image_valid_ = true;
  return std::memcmp(mark_image_.data() + place.at, kMark, sizeof(kMark)) == 0;
}

void IndexFile::WriteMark(bool on) {
  // Under the index lock, so that the header block written is the one other writers left.
  IndexLockScope lock(*this);
  const MarkPlace place = mark_place();
  if (!mark_image_valid_) MarkFound();
  std::vector<uint8_t> block = mark_image_;
  if (on) {
    std::memcpy(block.data() + place.at, kMark, sizeof(kMark));
  } else {
    std::memset(block.data() + place.at, 0, sizeof(kMark));
  }
  const bool was = marked_;
  marked_ = on;
  try {
    WriteBlock(place.block, block.data(), block.size());
  } catch (...) {
    // Set: the mark did not reach the file. Cleared: it may still be there, and is cleared
    // again at the next end of a change.
    marked_ = was;
    throw;
  }
}

void IndexFile::BeginChange() {
  if (damaged_) Corrupted();
  if (!marked_) WriteMark(true);
}

void IndexFile::BeginRebuild() {
  if (!marked_) WriteMark(true);
}

void IndexFile::EndChange() {
  if (marked_ && !damaged_) WriteMark(false);
}

void IndexFile::AfterRebuild() {
  damaged_ = false;
  marked_ = MarkFound();
}

// Named with its folder, as the engine names files in its other messages.
void IndexFile::Corrupted() const { throw EngineError::Make(kIndexCorrupted, disk_ ? disk_->file_name() : path_); }

bool IndexFile::exact() const { return table_.ExactSearch(); }

void IndexFile::MarkProductionIfOwnName() {
  if (platform::EqualIgnoringAsciiCase(BaseName(path_), BaseName(table_.TableFileName()))) table_.MarkProductionIndex();
}

}  // namespace dbase
