// TableReplacement: the work folder, the commit marker and the recovery of a cut-short commit.
// The scheme is described in table_replacement.h.
#include "dbf/table_replacement.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

#include "dbf/disk_file.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "platform/ascii_case.h"
#include "platform/os_file.h"

namespace dbase {

namespace {

namespace fs = std::filesystem;

constexpr const char* kMarkerSuffix = ".~commit";
constexpr const char* kWorkSuffix = ".~new";

// Closes a descriptor (and so releases its flock) when the scope ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const size_t start = NameStart(path);
  return start == 0 ? std::string(".") : path.substr(0, start - 1);
}

std::string NameOf(const std::string& path) { return path.substr(NameStart(path)); }

// The folder opened and locked, or -1 (errno set) when it cannot be or another process holds it.
int LockFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

void RemoveContents(const std::string& folder) noexcept {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::error_code ignored;
    fs::remove_all(entry.path(), ignored);
  }
}

// A work folder that no replacement holds: what a replacement cut short before its commit left.
void RemoveAbandonedWork(const std::string& folder) noexcept {
  const int fd = LockFolder(folder);
  if (fd < 0) return;
  RemoveContents(folder);
  ::rmdir(folder.c_str());
  ::close(fd);
}

// A marker being written that no commit holds: what a commit killed before its commit point left.
void RemoveAbandonedMarker(const std::string& path) noexcept {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
  ::close(fd);
}

bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Makes the renames a marker lists, each whose new file is still in the work folder. False, with
// errno set, when one fails.
bool ApplyMarker(const std::string& folder, const std::string& work, const std::string& content) {
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = content.substr(start, end - start);
    start = end + 1;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string from = line.substr(0, tab);
    const std::string to = line.substr(tab + 1);
    if (!PlainName(from) || !PlainName(to)) continue;
    const std::string source = work + "/" + from;
    if (!platform::FileExists(source)) continue;  // already in place
    if (!platform::RenameReplacing(source, folder + "/" + to)) return false;
  }
  return true;
}

bool ReadWhole(int fd, std::string& content) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  content.assign(static_cast<size_t>(info.st_size), '\0');
  const ssize_t n = platform::ReadAt(fd, 0, content.data(), content.size());
  if (n < 0) return false;
  content.resize(static_cast<size_t>(n));
  return true;
}

bool SameFile(int fd, const std::string& path) {
  struct stat a {}, b {};
  return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string TableReplacement::MarkerPath(const std::string& table) { return table + kMarkerSuffix; }

std::string TableReplacement::WorkFolder(const std::string& table) { return table + kWorkSuffix; }

TableReplacement::TableReplacement(std::string table, bool claim_existing) : table_(std::move(table)) {
  work_ = WorkFolder(table_);
  FinishInterrupted(table_);
  if (claim_existing && platform::FileExists(table_)) {
    // Opened for writing: a table the user may not write to is not replaced either.
    claim_ = std::make_unique<DiskFile>(table_, true, false);
    try {
      claim_->Open();
    } catch (const EngineError&) {
      throw EngineError::Make(kCreateError, table_);
    }
  }
  // Failures name the table, the file the user asked for.
  std::error_code ec;
  fs::create_directory(work_, ec);
  if (ec) throw EngineError::Make(kCreateError, table_).WithOsError(ec.value());
  work_lock_ = LockFolder(work_);
  // Held by another replacement of the same table.
  if (work_lock_ < 0) throw EngineError::Make(kCreateError, table_).WithOsError(errno);
  RemoveContents(work_);
  new_table_ = work_ + "/" + NameOf(table_);
}

TableReplacement::~TableReplacement() { RemoveWork(); }

std::string TableReplacement::WorkPath(const std::string& name) const { return work_ + "/" + name; }

void TableReplacement::RemoveWork() noexcept {
  // A commit whose renames did not all happen leaves its files to the recovery of the next open.
  const bool pending = committed_ && platform::FileExists(MarkerPath(table_));
  if (!pending && work_lock_ >= 0) {
    RemoveContents(work_);
    ::rmdir(work_.c_str());
  }
  if (!committed_) ::unlink((MarkerPath(table_) + "~").c_str());
  if (work_lock_ >= 0) ::close(work_lock_);
  work_lock_ = -1;
  claim_.reset();
}

void TableReplacement::Commit() {
  const std::string folder = FolderOf(table_);
  const std::string table_name = NameOf(table_);
  std::vector<std::pair<std::string, std::string>> moves;  // name in the work folder, final name
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(work_, ec)) {
    const std::string name = entry.path().filename().string();
    const std::string path = WorkPath(name);
    if (!platform::SyncPath(path)) throw EngineError::Make(kFlushError, path).WithOsError(errno);
    moves.emplace_back(name, NameOf(platform::ResolveCase(folder + "/" + name)));
  }
  if (ec) throw EngineError::Make(kReadError, work_).WithOsError(ec.value());
  // The table goes last: until it is in place, a reader still finds the old table whole.
  auto is_table = [&](const auto& move) { return move.first == table_name; };
  std::stable_partition(moves.begin(), moves.end(), [&](const auto& move) { return !is_table(move); });
  if (moves.empty() || !is_table(moves.back())) throw EngineError::Make(kFileNotFound, new_table_);

  std::string content;
  for (const auto& [from, to] : moves) content += from + "\t" + to + "\n";
  const std::string marker = MarkerPath(table_);
  const std::string pending = marker + "~";
  Descriptor fd(::open(pending.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0666));
  if (fd.get() < 0) throw EngineError::Make(kCreateError, pending).WithOsError(errno);
  // Held until the marker is gone, so that a recovery running meanwhile waits for this commit.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) throw EngineError::Make(kCreateError, pending).WithOsError(errno);
  if (platform::WriteAt(fd.get(), 0, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
    throw EngineError::Make(kWriteError, pending).WithOsError(errno);
  }
  if (!platform::Sync(fd.get())) throw EngineError::Make(kFlushError, pending).WithOsError(errno);
  if (!platform::RenameReplacing(pending, marker)) throw EngineError::Make(kRenameError, pending).WithOsError(errno);
  if (!platform::SyncPath(folder)) {
    // The marker may not survive a power loss: take it back, nothing has been replaced yet.
    const int error = errno;
    ::unlink(marker.c_str());
    throw EngineError::Make(kFlushError, folder).WithOsError(error);
  }
  committed_ = true;  // from here on the new table is the table

  if (!ApplyMarker(folder, work_, content)) {
    const int error = errno;
    // One more pass, as the next open would make: a passing failure ends here.
    if (!ApplyMarker(folder, work_, content)) throw EngineError::Make(kRenameError, table_).WithOsError(error);
  }
  // The replacement is made; flushing the folder only makes it durable sooner.
  platform::SyncPath(folder);
  ::unlink(marker.c_str());
  platform::SyncPath(folder);
}

bool TableReplacement::FinishInterrupted(const std::string& table) {
  const std::string marker = MarkerPath(table);
  const std::string work = WorkFolder(table);
  if (platform::FileExists(marker + "~")) RemoveAbandonedMarker(marker + "~");
  if (!platform::FileExists(marker)) {
    if (platform::FileExists(work)) RemoveAbandonedWork(work);
    return false;
  }
  Descriptor fd(::open(marker.c_str(), O_RDWR | O_CLOEXEC));
  if (fd.get() < 0) return false;
  // A commit in progress holds its marker for the moment its renames take.
  if (!RetriedLock([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0; })) return false;
  if (!SameFile(fd.get(), marker)) return false;  // that commit finished meanwhile
  const std::string folder = FolderOf(table);
  std::string content;
  if (!ReadWhole(fd.get(), content)) throw EngineError::Make(kReadError, marker).WithOsError(errno);
  if (!ApplyMarker(folder, work, content)) throw EngineError::Make(kRenameError, table).WithOsError(errno);
  platform::SyncPath(folder);
  ::unlink(marker.c_str());
  platform::SyncPath(folder);
  RemoveAbandonedWork(work);
  return true;
}

}  // namespace dbase
