// DiskFile: one engine file (table, memo or index) with positioned reads and writes that raise
// engine errors, flush, truncate, rename, and one nestable byte-range lock. FileCollection keeps
// every open engine file so that all can be released when the program ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dbase {

class DiskFile {
 public:
  // Records whether the file exists; does not open it. Relative names are expanded against the
  // current folder; an existing file whose name differs only in case is taken.
  DiskFile(const std::string& file_name, bool read_write, bool shared);
  virtual ~DiskFile();
  DiskFile(const DiskFile&) = delete;
  DiskFile& operator=(const DiskFile&) = delete;

  virtual bool Close();
  virtual int64_t FileSize();
  virtual void Flush();
  virtual bool LockFile();
  virtual bool Lock(uint64_t offset, uint64_t length);
  virtual int64_t Read(uint64_t offset, void* buffer, size_t length);
  virtual bool Rename(const std::string& new_name);
  virtual void Open();
  virtual void Create();
  virtual void StatusUpdate(int stat1, int stat2, int stat3);
  virtual void Truncate(uint64_t size);
  virtual bool Unlock();
  virtual void Write(uint64_t offset, const void* buffer, size_t length);

  // Full access: not shared, or shared and holding the lock of offset 0, length 0x7FFFFFFF.
  bool HasFullAccess() const;

  const std::string& file_name() const { return file_name_; }
  bool exists() const { return exists_; }
  bool is_open() const { return !closed_; }
  bool shared() const { return shared_; }
  bool read_write() const { return read_write_; }
  uint64_t position() const { return position_; }
  int64_t last_count() const { return last_count_; }
  int32_t lock_count() const { return lock_count_; }
  uint64_t lock_offset() const { return lock_offset_; }
  uint64_t lock_length() const { return lock_length_; }
  bool written() const { return written_; }

  // Releases the held range whatever the nesting count (end of program).
  void ReleaseLockForExit();

  // Goes on with `other`'s open file in place of this one's, keeping this object's name and
  // lock bookkeeping; `other` is left closed. For a file held exclusively whose content was
  // replaced on disk by the file `other` wrote and still holds.
  void AdoptOpenFile(DiskFile& other);

 protected:
  // A byte range locked beside the nestable one, uncounted, for a brief hold of the engine's own
  // (the append byte while a record of ours is locked). Shared files only; never waits.
  bool LockBeside(uint64_t offset, uint64_t length);
  void UnlockBeside(uint64_t offset, uint64_t length);

  int handle_ = -1;
  bool exists_ = false;
  std::string file_name_;
  uint64_t position_ = 0;
  bool shared_ = false;
  bool read_write_ = false;
  int64_t last_count_ = 0;
  int32_t lock_count_ = 0;
  uint64_t lock_offset_ = 0;
  uint64_t lock_length_ = 0;
  bool written_ = false;
  bool closed_ = true;
};

// Every open engine file; not owning. Files add and remove themselves on open and close.
class FileCollection {
 public:
  static FileCollection& Instance();
  void Add(DiskFile* file);
  int IndexOf(const DiskFile* file) const;
  void Remove(const DiskFile* file);
  size_t Count() const { return files_.size(); }
  // Unlocks every held range and closes every file still open.
  void ReleaseAll();

 private:
  FileCollection() = default;
  ~FileCollection();
  std::vector<DiskFile*> files_;
};

// The retry rule shared by every retried lock: 100 attempts, 50 ms apart (5000 ms in all).
struct LockRetry {
  int total_wait_ms = 5000;
  int interval_ms = 50;
  int Attempts() const { return interval_ms > 0 ? total_wait_ms / interval_ms : 1; }
};
LockRetry& GlobalLockRetry();

// Tries `attempt` up to the global number of times, pausing after each refusal.
bool RetriedLock(const std::function<bool()>& attempt);

}  // namespace dbase
