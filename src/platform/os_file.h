// The operating-system file layer under DiskFile: share-mode opening (flock), positioned I/O,
// never-waiting byte-range locks tied to the open file description (OFD locks), and the
// case-insensitive lookup of file names the program derives.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace dbase::platform {

// kDenied: the system refused access (permissions, a read-only file system, a folder);
// kInUse: another holder's share mode excludes this open; kFailed: any other failure (too many
// open files, an I/O error). After kDenied and kFailed errno holds the system's reason.
enum class OpenResult { kOk, kNotFound, kDenied, kFailed, kInUse };

// Opens an existing file. `shared` takes a shared flock, else an exclusive one; a conflicting
// holder makes the open fail with kInUse. The descriptor is opened read-write when the file
// allows it, so byte-range write locks work on read-only uses too; `read_write` only demands it.
OpenResult OpenFile(const std::string& path, bool read_write, bool shared, int* fd);

// Creates or empties a file, refusing (kInUse) when another holder has it open.
OpenResult CreateFileExclusive(const std::string& path);

void CloseFile(int fd);

// Positioned I/O that retries short transfers and EINTR. Return bytes moved, or -1 on failure.
// Failing calls here leave errno set for the caller's message.
ssize_t ReadAt(int fd, uint64_t offset, void* buffer, size_t length);
ssize_t WriteAt(int fd, uint64_t offset, const void* buffer, size_t length);

// Size of an open file, or -1.
int64_t SizeOf(int fd);
bool Truncate(int fd, uint64_t size);
bool Sync(int fd);
// Flushes a file or a folder (its entries) by name to disk.
bool SyncPath(const std::string& path);

// Exclusive byte-range lock that never waits and may lie beyond the end of the file.
bool LockRange(int fd, uint64_t offset, uint64_t length);
bool UnlockRange(int fd, uint64_t offset, uint64_t length);

// Renames without replacing an existing file (Windows semantics).
bool RenameNoReplace(const std::string& from, const std::string& to);
// Renames, replacing an existing `to` in one atomic step.
bool RenameReplacing(const std::string& from, const std::string& to);

bool FileExists(const std::string& path);

// The existing file whose name equals `path`'s last component without regard to ASCII case, in
// the same folder; `path` itself when it exists or when no such file exists.
std::string ResolveCase(const std::string& path);

// True when `path` exists, or a file whose last component differs from it only in ASCII case.
bool FileExistsAnyCase(const std::string& path);

// A full path: absolute names are kept (lexically normalised), others joined to the current folder.
std::string ExpandPath(const std::string& name);

}  // namespace dbase::platform
