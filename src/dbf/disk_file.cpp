// DiskFile over the platform file layer, the global file collection and the retried lock.
#include "dbf/disk_file.h"

#include <errno.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "dbf/errors.h"
#include "dbf/lock_protocol.h"
#include "platform/os_file.h"

namespace dbase {

DiskFile::DiskFile(const std::string& file_name, bool read_write, bool shared)
    : shared_(shared), read_write_(read_write) {
  file_name_ = platform::ResolveCase(platform::ExpandPath(file_name));
  exists_ = platform::FileExists(file_name_);
}

DiskFile::~DiskFile() {
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; the handle is released below in any case.
  }
  if (handle_ >= 0) {
    platform::CloseFile(handle_);
    FileCollection::Instance().Remove(this);
  }
}

void DiskFile::Open() {
  if (!exists_) exists_ = platform::FileExists(file_name_);
  if (!exists_) throw EngineError::Make(kFileNotFound, file_name_);
  if (!closed_) Close();
  int fd = -1;
  const platform::OpenResult result = platform::OpenFile(file_name_, read_write_, shared_, &fd);
  const int error = errno;
  switch (result) {
    case platform::OpenResult::kOk:
      break;
    case platform::OpenResult::kNotFound:
      throw EngineError::Make(kFileNotFound, file_name_);
    case platform::OpenResult::kInUse:
      throw EngineError::Make(kAccessDenied, file_name_);
    case platform::OpenResult::kDenied:
      throw EngineError::Make(kAccessDenied, file_name_).WithOsError(error);
    case platform::OpenResult::kFailed:
      // Not a refusal: too many open files or a failing disk; the system's reason says which.
      throw EngineError::Make(kReadError, file_name_).WithOsError(error);
  }
  handle_ = fd;
  position_ = 0;
  closed_ = false;
  FileCollection::Instance().Add(this);
}

void DiskFile::Create() {
  if (!closed_) Close();
  const platform::OpenResult result = platform::CreateFileExclusive(file_name_);
  if (result != platform::OpenResult::kOk) {
    throw EngineError::Make(kCreateError, file_name_).WithOsError(result == platform::OpenResult::kInUse ? 0 : errno);
  }
  exists_ = true;
  Open();
}

bool DiskFile::Close() {
  if (closed_) return true;
  if (lock_count_ > 0) {
    lock_count_ = 1;
    Unlock();
  }
  FileCollection::Instance().Remove(this);
  platform::CloseFile(handle_);
  handle_ = -1;
  closed_ = true;
  return true;
}

int64_t DiskFile::FileSize() {
  int64_t size = closed_ ? -1 : platform::SizeOf(handle_);
  if (size < 0) throw EngineError::Make(kFileSizeError, file_name_);
  return size;
}

void DiskFile::Flush() {
  if (closed_) return;
  if (!platform::Sync(handle_)) throw EngineError::Make(kFlushError, file_name_).WithOsError(errno);
  written_ = false;
}

int64_t DiskFile::Read(uint64_t offset, void* buffer, size_t length) {
  if (closed_) throw EngineError::Make(kReadError, file_name_);
  ssize_t n = platform::ReadAt(handle_, offset, buffer, length);
  if (n < 0) throw EngineError::Make(kReadError, file_name_).WithOsError(errno);
  last_count_ = n;
  position_ = offset + length;
  return n;
}

void DiskFile::Write(uint64_t offset, const void* buffer, size_t length) {
  if (closed_ || !read_write_) throw EngineError::Make(kWriteError, file_name_);
  ssize_t n = platform::WriteAt(handle_, offset, buffer, length);
  if (n < 0 || static_cast<size_t>(n) != length) {
    throw EngineError::Make(kWriteError, file_name_).WithOsError(n < 0 ? errno : 0);
  }
  last_count_ = n;
  position_ = offset + length;
  written_ = true;
}

bool DiskFile::HasFullAccess() const {
  return !shared_ || (lock_count_ > 0 && lock_offset_ == 0 && lock_length_ == kWholeFileLockLength);
}

void DiskFile::Truncate(uint64_t size) {
  if (!read_write_ || !HasFullAccess()) throw EngineError::Make(kFullAccess, "Truncate", file_name_);
  if (closed_ || !platform::Truncate(handle_, size)) {
    throw EngineError::Make(kTruncateError, file_name_).WithOsError(closed_ ? 0 : errno);
  }
}

bool DiskFile::Rename(const std::string& new_name) {
  std::string old_name = file_name_;
  try {
    Close();
  } catch (const EngineError&) {
    throw EngineError::Make(kCloseError, old_name);
  }
  std::string target = platform::ExpandPath(new_name);
  if (!platform::RenameNoReplace(old_name, target)) {
    const int error = errno;
    Open();  // keep the object usable on its old name
    throw EngineError::Make(kRenameError, old_name).WithOsError(error);
  }
  file_name_ = target;
  Open();
  return true;
}

void DiskFile::StatusUpdate(int, int, int) {}

bool DiskFile::Lock(uint64_t offset, uint64_t length) {
  if (!shared_) {
    ++lock_count_;
    lock_offset_ = offset;
    lock_length_ = length;
    return true;
  }
  if (lock_count_ > 0) {
    if (offset != lock_offset_ || length != lock_length_) return false;
    ++lock_count_;
    return true;
  }
  if (closed_ || !platform::LockRange(handle_, offset, length)) return false;
  lock_offset_ = offset;
  lock_length_ = length;
  lock_count_ = 1;
  return true;
}

bool DiskFile::Unlock() {
  if (lock_count_ <= 0) return true;
  if (shared_ && lock_count_ == 1 && !closed_) {
    if (!platform::UnlockRange(handle_, lock_offset_, lock_length_)) {
      throw EngineError::Make(kUnlockError, file_name_);
    }
  }
  --lock_count_;
  return true;
}

bool DiskFile::LockBeside(uint64_t offset, uint64_t length) {
  return shared_ && !closed_ && platform::LockRange(handle_, offset, length);
}

void DiskFile::UnlockBeside(uint64_t offset, uint64_t length) {
  if (shared_ && !closed_ && !platform::UnlockRange(handle_, offset, length)) {
    throw EngineError::Make(kUnlockError, file_name_);
  }
}

bool DiskFile::LockFile() { return shared_ ? Lock(0, kWholeFileLockLength) : true; }

void DiskFile::AdoptOpenFile(DiskFile& other) {
  if (other.closed_) throw EngineError::Make(kReadError, other.file_name_);
  if (!closed_) {
    FileCollection::Instance().Remove(this);
    platform::CloseFile(handle_);
  }
  handle_ = other.handle_;
  closed_ = false;
  exists_ = true;
  position_ = 0;
  written_ = other.written_;
  FileCollection::Instance().Remove(&other);
  FileCollection::Instance().Add(this);
  other.handle_ = -1;
  other.closed_ = true;
}

void DiskFile::ReleaseLockForExit() {
  if (lock_count_ > 0 && shared_ && !closed_) platform::UnlockRange(handle_, lock_offset_, lock_length_);
  lock_count_ = 0;
}

FileCollection& FileCollection::Instance() {
  // Never destroyed: files may still close during static destruction. ReleaseAll runs at exit.
  static FileCollection* instance = [] {
    auto* c = new FileCollection();
    std::atexit([] { FileCollection::Instance().ReleaseAll(); });
    return c;
  }();
  return *instance;
}

FileCollection::~FileCollection() = default;

void FileCollection::Add(DiskFile* file) {
  if (IndexOf(file) < 0) files_.push_back(file);
}

int FileCollection::IndexOf(const DiskFile* file) const {
  auto it = std::find(files_.begin(), files_.end(), file);
  return it == files_.end() ? -1 : static_cast<int>(it - files_.begin());
}

void FileCollection::Remove(const DiskFile* file) {
  auto it = std::find(files_.begin(), files_.end(), file);
  if (it != files_.end()) files_.erase(it);
}

void FileCollection::ReleaseAll() {
  std::vector<DiskFile*> open = files_;
  for (DiskFile* f : open) {
    f->ReleaseLockForExit();
    try {
      f->Close();
    } catch (...) {
    }
  }
  files_.clear();
}

LockRetry& GlobalLockRetry() {
  static LockRetry retry;
  return retry;
}

bool RetriedLock(const std::function<bool()>& attempt) {
  const LockRetry& r = GlobalLockRetry();
  int attempts = std::max(1, r.Attempts());
  for (int i = 0; i < attempts; ++i) {
    if (attempt()) return true;
    if (i + 1 < attempts) std::this_thread::sleep_for(std::chrono::milliseconds(r.interval_ms));
  }
  return false;
}

}  // namespace dbase
