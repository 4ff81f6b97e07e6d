// The index part of the table check and the repair of a table: backups written whole, the salvage
// rewrite, the index rebuild.
#include "handler/table_repair.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "dbf/dbf_layout.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "dbf/memo_file.h"
#include "handler/db_handler.h"
#include "index/index_check.h"
#include "index/index_file.h"
#include "index/open_index.h"
#include "platform/os_file.h"

namespace dbase {

namespace {

constexpr size_t kCopyChunk = 1 << 16;

TableFinding IndexFinding(const std::string& file, const std::string& message, bool repairable) {
  TableFinding f;
  f.kind = "index";
  f.file = file;
  f.message = message;
  f.repairable = repairable;
  return f;
}

// Whether the index file at `path` carries the rebuild mark a write that failed part-way leaves:
// such a file is refused by shared and read-only opens, and rebuilt by the exclusive read-write
// open a repair makes.
bool CarriesRebuildMark(dBHandler& table, const std::string& path) {
  if (!platform::FileExists(path)) return false;
  try {
    return OpenIndex(table, path)->MarkFound();
  } catch (const EngineError& e) {
    if (e.os_error() != 0) throw;
    return false;
  }
}

// The finding for an index file that could not be opened.
TableFinding UnopenedIndex(dBHandler& table, const std::string& path, const std::string& shown,
                           const EngineError& e) {
  if (CarriesRebuildMark(table, path)) {
    return IndexFinding(path, "a write that failed part-way left the index file marked for rebuilding", true);
  }
  return IndexFinding(shown, DescribeError(e), false);
}

// Opens the production index and the named index files of `table`; a file that cannot be opened
// is listed in `failures` (when given) and left out.
void OpenIndexes(dBHandler& table, const std::vector<std::string>& indexes, std::vector<TableFinding>* failures) {
  try {
    table.OpenProductionIndex();
  } catch (const EngineError& e) {
    if (e.os_error() != 0) throw;  // a failing disk, not a damaged file
    if (failures) {
      TableFinding f = UnopenedIndex(table, table.ProductionIndexPath(), table.file_name(), e);
      if (!f.repairable) f.message = "production index: " + f.message;
      failures->push_back(f);
    }
  }
  for (const std::string& name : indexes) {
    try {
      table.OpenIndexFile(name);
    } catch (const EngineError& e) {
      if (e.os_error() != 0) throw;
      if (failures) failures->push_back(UnopenedIndex(table, name, name, e));
    }
  }
}

// Copies `source` to `target`, written beside as target + "~" and renamed when complete, so a
// backup is either whole or absent. Returns the backup's name.
std::string BackUp(DiskFile& source, const std::string& target) {
  const std::string part = target + "~";
  std::remove(part.c_str());
  try {
    DiskFile out(part, true, false);
    out.Create();
    std::vector<uint8_t> chunk(kCopyChunk);
    const int64_t size = source.FileSize();
    for (int64_t at = 0; at < size;) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(chunk.size()), size - at));
      if (source.DiskFile::Read(static_cast<uint64_t>(at), chunk.data(), n) != static_cast<int64_t>(n)) {
        throw EngineError::Make(kReadError, source.file_name());
      }
      out.Write(static_cast<uint64_t>(at), chunk.data(), n);
      at += static_cast<int64_t>(n);
    }
    out.Flush();
    out.Close();
    if (!platform::RenameReplacing(part, target)) throw EngineError::Make(kWriteError, target).WithOsError(errno);
  } catch (...) {
    std::remove(part.c_str());
    throw;
  }
  return target;
}

}  // namespace

TableCheckResult CheckTable(const std::string& table, const std::string& password,
                            const std::vector<std::string>& indexes) {
  TableCheckResult result = CheckTableFiles(table, password);
  if (!result.structure_sound) return result;
  std::unique_ptr<dBHandler> t;
  try {
    t = std::make_unique<dBHandler>(table, password, false, true);
  } catch (const EngineError& e) {
    if (e.os_error() != 0) throw;
    result.findings.push_back(IndexFinding(table, "the index files were not checked: " + DescribeError(e), false));
    return result;
  }
  OpenIndexes(*t, indexes, &result.findings);
  for (int slot = 0; slot <= dBHandler::kIndexSlots; ++slot) {
    IndexFile* file = t->IndexFileAt(slot);
    if (file == nullptr) continue;
    try {
      IndexLockScope lock(*file);
      const std::string problem = CheckIndexFile(*file);
      if (!problem.empty()) result.findings.push_back(IndexFinding(file->file_name(), problem, true));
    } catch (const EngineError& e) {
      if (e.os_error() != 0) throw;
      result.findings.push_back(IndexFinding(file->file_name(), DescribeError(e), true));
    }
  }
  return result;
}

RepairResult RepairTable(const std::string& table, const std::string& password, const std::vector<std::string>& indexes,
                         const TableCheckResult& found) {
  RepairResult result;
  if (!found.structure_sound) {
    result.refused = "the table's header or field descriptors are damaged, so its records cannot be told apart";
    return result;
  }
  bool table_work = false;
  bool index_work = false;
  for (const TableFinding& f : found.findings) {
    if (f.kind == "memo-file" && !f.repairable) {
      result.refused = "the memo file cannot be read (" + f.message + ")";
      return result;
    }
    if (!f.repairable) continue;
    (f.kind == "index" ? index_work : table_work) = true;
  }
  if (!table_work && !index_work) return result;

  dBHandler t(table, password, true, false);
  OpenIndexes(t, indexes, nullptr);
  if (table_work) {
    // The names restructure keeps its backups under: T.BAK and T.TBK.
    result.backups.push_back(BackUp(t, CompanionFileName(t.file_name(), ".BAK")));
    if (t.has_memo()) result.backups.push_back(BackUp(*t.memo(), CompanionFileName(t.file_name(), ".TBK")));
    std::vector<dBHandler::ClearedMemo> cleared;
    t.Salvage(&cleared);
    result.rewritten = true;
    for (const dBHandler::ClearedMemo& c : cleared) {
      TableFinding f;
      f.kind = "memo-reference";
      f.file = t.file_name();
      f.record = c.record;
      f.field = t.FieldName(c.field);
      f.offset = static_cast<int64_t>(t.header_length()) + (c.record - 1) * static_cast<int64_t>(t.record_length()) +
                 t.FieldOffset(c.field);
      auto named = std::find_if(found.findings.begin(), found.findings.end(), [&](const TableFinding& g) {
        return g.record == f.record && g.field == f.field && g.block >= 0;
      });
      if (named != found.findings.end()) f.block = named->block;
      f.message = "memo reference cleared";
      f.repairable = true;
      result.cleared.push_back(std::move(f));
    }
  } else {
    t.Reindex();
  }
  result.reindexed = t.index_file_count() > 0;
  return result;
}

}  // namespace dbase
