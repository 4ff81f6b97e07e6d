// POSIX implementation of the file layer: flock share modes, OFD byte-range locks, pread/pwrite.
#include "platform/os_file.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/file_faults.h"

namespace dbase::platform {

namespace {

int OpenDescriptor(const std::string& path, bool read_write) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && !read_write && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  return fd;
}

bool SetLock(int fd, short type, uint64_t offset, uint64_t length) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// What a failed open(2) means to the engine; errno is kept for the caller's message.
OpenResult FailedOpen(int error) {
  errno = error;
  if (error == ENOENT || error == ENOTDIR) return OpenResult::kNotFound;
  if (error == EACCES || error == EPERM || error == EROFS || error == EISDIR) return OpenResult::kDenied;
  return OpenResult::kFailed;
}

}  // namespace

OpenResult OpenFile(const std::string& path, bool read_write, bool shared, int* fd) {
  *fd = -1;
  int h = InjectedFileFault(FileOp::kOpen) ? -1 : OpenDescriptor(path, read_write);
  if (h < 0) return FailedOpen(errno);
  struct stat st;
  const bool stat_ok = ::fstat(h, &st) == 0;
  if (!stat_ok || S_ISDIR(st.st_mode)) {
    const int error = stat_ok ? EISDIR : errno;
    ::close(h);
    return FailedOpen(error);
  }
  if (::flock(h, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    ::close(h);
    return OpenResult::kInUse;
  }
  *fd = h;
  return OpenResult::kOk;
}

OpenResult CreateFileExclusive(const std::string& path) {
  int h = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (h < 0) return FailedOpen(errno);
  // Empty it only when nobody else holds it: truncating a table another process has open would
  // destroy its data, and Windows refuses such a creation too.
  if (::flock(h, LOCK_EX | LOCK_NB) != 0) {
    ::close(h);
    return OpenResult::kInUse;
  }
  const bool ok = ::ftruncate(h, 0) == 0;
  const int error = errno;
  ::close(h);
  errno = error;
  return ok ? OpenResult::kOk : OpenResult::kFailed;
}

void CloseFile(int fd) {
  if (fd >= 0) ::close(fd);
}

ssize_t ReadAt(int fd, uint64_t offset, void* buffer, size_t length) {
  if (InjectedFileFault(FileOp::kRead)) return -1;
  size_t done = 0;
  char* p = static_cast<char*>(buffer);
  while (done < length) {
    ssize_t n = ::pread(fd, p + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

ssize_t WriteAt(int fd, uint64_t offset, const void* buffer, size_t length) {
  if (InjectedFileFault(FileOp::kWrite)) return -1;
  size_t done = 0;
  const char* p = static_cast<const char*>(buffer);
  while (done < length) {
    ssize_t n = ::pwrite(fd, p + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) return -1;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int64_t SizeOf(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool Truncate(int fd, uint64_t size) {
  return !InjectedFileFault(FileOp::kTruncate) && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

bool Sync(int fd) { return !InjectedFileFault(FileOp::kSync) && ::fsync(fd) == 0; }

bool SyncPath(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = Sync(fd);
  int saved = errno;
  ::close(fd);
  errno = saved;
  return ok;
}

bool LockRange(int fd, uint64_t offset, uint64_t length) {
  if (SetLock(fd, F_WRLCK, offset, length)) return true;
  // A descriptor that could only be opened for reading cannot hold a write lock; a read lock
  // still keeps writers of the same range out.
  return errno == EBADF && SetLock(fd, F_RDLCK, offset, length);
}

bool UnlockRange(int fd, uint64_t offset, uint64_t length) { return SetLock(fd, F_UNLCK, offset, length); }

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (FileExists(to) && ResolveCase(to) != ResolveCase(from)) {
    errno = EEXIST;
    return false;
  }
  return RenameReplacing(from, to);
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  return !InjectedFileFault(FileOp::kRename) && ::rename(from.c_str(), to.c_str()) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string ResolveCase(const std::string& path) {
  if (path.empty() || FileExists(path)) return path;
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return path;
  std::vector<std::string> matches;
  while (struct dirent* e = ::readdir(dir)) {
    if (EqualIgnoringAsciiCase(e->d_name, name)) matches.emplace_back(e->d_name);
  }
  ::closedir(dir);
  if (matches.empty()) return path;
  std::sort(matches.begin(), matches.end());  // several candidates: a stable, predictable choice
  return slash == std::string::npos ? matches.front() : path.substr(0, slash + 1) + matches.front();
}

bool FileExistsAnyCase(const std::string& path) { return FileExists(ResolveCase(path)); }

std::string ExpandPath(const std::string& name) {
  std::filesystem::path p(name);
  std::error_code ec;
  if (!p.is_absolute()) {
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (!ec) p = cwd / p;
  }
  std::string out = p.lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace dbase::platform
