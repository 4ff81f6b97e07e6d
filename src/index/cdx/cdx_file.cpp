// CDXFile: the directory of tags, node allocation, defining, deleting and rebuilding tags.
#include "index/cdx/cdx_file.h"

#include <algorithm>

#include "dbf/errors.h"
#include "platform/ascii_case.h"
#include "platform/text_trim.h"

namespace dbase {

namespace {
constexpr int kHeaderNodes = 2;  // a tag header takes 1024 bytes
// A reindexed file keeps the directory header and one root node.
constexpr int kEmptyFileSize = 3 * CDXFile::kNodeSize;
}  // namespace

CDXFile::CDXFile(IndexTable& table, const std::string& path, bool create) : IndexFile(table, path) {
  OpenDisk(create);
  if (!create && FileSize() > kNodeSize) {
    LoadTags();
  } else {
    CreateDirectory();
  }
  MarkProductionIfOwnName();
}

std::string CDXFile::DirectoryKey(const std::string& name) {
  std::string key = platform::UpperAscii(std::string(platform::TrimBlanks(name))).substr(0, kTagNameLength);
  key.resize(kTagNameLength, ' ');
  return key;
}

PageRef CDXFile::NewNode() {
  if (next_free_ < 0) next_free_ = (FileSize() + kNodeSize - 1) / kNodeSize * kNodeSize;
  if (next_free_ + kNodeSize > 0xFFFFFFFFll) throw EngineError::Make(kWriteError, path());
  const PageRef node = static_cast<PageRef>(next_free_);
  next_free_ += kNodeSize;
  return node;
}

void CDXFile::CreateDirectory() {
  next_free_ = 0;
  directory_ = std::make_unique<CDXTag>(*this, NewNode(), true);
  NewNode();
  directory_->DefineDirectory();
  directory_->MakeEmptyRoot();
}

// Tags in the order of their headers in the file, which is the order they were made in.
void CDXFile::LoadTags() {
  directory_ = std::make_unique<CDXTag>(*this, 0, true);
  directory_->ReadHeader();
  const int64_t size = FileSize();
  std::vector<std::pair<PageRef, std::string>> found;
  // Each tag needs a header of two nodes: more entries than that are a damaged directory.
  const size_t most = static_cast<size_t>(size / (2 * kNodeSize)) + 1;
  directory_->ForEachEntry([&](const IndexKey& page, int i, int) {
    if (found.size() >= most) Corrupted();
    std::string name(reinterpret_cast<const char*>(page.key(i)), static_cast<size_t>(page.key_length()));
    found.emplace_back(static_cast<PageRef>(page.record(i)), std::string(platform::TrimBlanks(name)));
  });
  std::sort(found.begin(), found.end());
  for (const auto& [header, name] : found) {
    if (header == 0 || header % kNodeSize != 0 || static_cast<int64_t>(header) + 2 * kNodeSize > size) Corrupted();
    auto tag = std::make_unique<CDXTag>(*this, header, false);
    tag->SetName(name);
    tag->ReadHeader();
    AddTag(std::move(tag));
  }
}

void CDXFile::RemoveTag(IndexTag* tag) {
  directory_->DeleteKey(DirectoryKey(tag->name()), static_cast<int32_t>(tag->header_ref()));
  auto& list = tags();
  list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& t) { return t.get() == tag; }), list.end());
}

IndexTag* CDXFile::DefineTag(const TagDefinition& definition) {
  const std::string key = DirectoryKey(definition.name);
  if (platform::TrimBlanks(key).empty()) throw EngineError::Make(kNoIndexTag, definition.name);
  IndexLockScope lock(*this);
  if (IndexTag* old = FindTag(platform::TrimBlanks(key))) RemoveTag(old);
  const PageRef header = NewNode();
  for (int i = 1; i < kHeaderNodes; ++i) NewNode();
  auto tag = std::make_unique<CDXTag>(*this, header, false);
  tag->Define(definition);
  tag->WriteHeader();
  CDXTag* t = tag.get();
  AddTag(std::move(tag));
  t->Build();
  directory_->InsertKey(key, static_cast<int32_t>(header));
  return t;
}

void CDXFile::DeleteTag(const std::string& name) {
  IndexTag* tag = FindTag(platform::TrimBlanks(name));
  if (tag == nullptr) throw EngineError::Make(kNoIndexTag, name);
  {
    IndexLockScope lock(*this);
    RemoveTag(tag);
  }
  if (tags().empty()) Reindex();
}

void CDXFile::Reindex() {
  const bool locked = disk().LockFile();
  try {
    for (auto& t : tags()) t->Release();
    directory_->Release();
    TruncateFile(kEmptyFileSize);
    next_free_ = 2 * kNodeSize;
    directory_->MakeEmptyRoot();
    for (auto& t : tags()) {
      auto* tag = static_cast<CDXTag*>(t.get());
      const PageRef header = NewNode();
      for (int i = 1; i < kHeaderNodes; ++i) NewNode();
      tag->MoveHeader(header);
      tag->WriteHeader();
      tag->Build();
      directory_->InsertKey(DirectoryKey(tag->name()), static_cast<int32_t>(header));
    }
    if (locked) disk().Unlock();
  } catch (...) {
    if (locked) disk().Unlock();
    throw;
  }
}

}  // namespace dbase
