// A fresh temporary folder per test, removed with everything in it when the object goes.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Whole-file helpers for tests that compare bytes.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// The names of the files and folders in `folder`, sorted: a test compares them to see that an
// operation left nothing behind.
std::vector<std::string> FilesIn(const std::string& folder);

}  // namespace testsupport
