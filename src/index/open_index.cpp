// OpenIndex: index file names and the choice of format by extension.
#include "index/open_index.h"

#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "index/index_table.h"
#include "index/cdx/cdx_file.h"
#include "index/mdx/mdx_file.h"
#include "index/ndx/ndx_file.h"
#include "index/ntx/ntx_file.h"
#include "platform/ascii_case.h"

namespace dbase {

namespace {

enum class Format { None, Ntx, Ndx, Mdx, Cdx };

Format FormatOf(const std::string& path) {
  const size_t dot = ExtensionDot(path);
  const std::string extension = dot == std::string::npos ? "" : platform::UpperAscii(path.substr(dot));
  if (extension == ".NTX") return Format::Ntx;
  if (extension == ".NDX") return Format::Ndx;
  if (extension == ".MDX") return Format::Mdx;
  if (extension == ".CDX") return Format::Cdx;
  return Format::None;
}

std::unique_ptr<IndexFile> Make(IndexTable& table, const std::string& name, bool create) {
  const std::string path = IndexPath(table, name);
  switch (FormatOf(path)) {
    case Format::Ntx:
      return std::make_unique<NTXFile>(table, path, create);
    case Format::Ndx:
      return std::make_unique<NDXFile>(table, path, create);
    case Format::Mdx:
      return std::make_unique<MDXFile>(table, path, create);
    case Format::Cdx:
      return std::make_unique<CDXFile>(table, path, create);
    default:
      throw EngineError::Make(kFileNotFound, path);
  }
}

}  // namespace

std::string IndexPath(const IndexTable& table, const std::string& name) {
  std::string path = WithDefaultExtension(TrimName(name), ".ndx");
  if (NameStart(path) == 0) {
    const std::string table_path = table.TableFileName();
    path = table_path.substr(0, NameStart(table_path)) + path;
  }
  return path;
}

std::unique_ptr<IndexFile> OpenIndex(IndexTable& table, const std::string& name) { return Make(table, name, false); }

std::unique_ptr<IndexFile> CreateIndex(IndexTable& table, const std::string& name) { return Make(table, name, true); }

}  // namespace dbase
