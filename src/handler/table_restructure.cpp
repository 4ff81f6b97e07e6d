// Restructuring a table: the new table built in a TableReplacement's work folder from the
// planned fields, the records carried over value by value, the production index built beside
// it, the backups of the old files added, and everything put in place in one commit.
#include "handler/table_restructure.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "dbf/dbf_build.h"
#include "dbf/dbf_date.h"
#include "dbf/dbf_layout.h"
#include "dbf/file_names.h"
#include "dbf/memo_file.h"
#include "dbf/number_text.h"
#include "dbf/table_replacement.h"
#include "expr/exp_handler.h"
#include "handler/db_handler.h"
#include "index/index_file.h"
#include "index/index_tag.h"
#include "platform/ascii_case.h"
#include "platform/os_file.h"

namespace dbase {

namespace {

constexpr uint8_t kStructuralIndexFlag = 0x01;
constexpr size_t kCopyChunk = size_t{1} << 20;
// The losses named in the refusal's message; all of them are in the error object.
constexpr size_t kLossesInMessage = 10;

bool IsBlank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

bool IsMemo(char type) { return type == 'M' || type == 'B' || type == 'G'; }

std::string NameOf(const std::string& path) { return path.substr(NameStart(path)); }

// The value of an old field as the text it is carried by: character fields without trailing
// blanks, numbers as written, dates as yyyymmdd, logicals as T or F ("" when unknown), memos as
// their text.
std::string CarriedText(dBHandler& table, int field) {
  const char type = table.FieldType(field);
  if (IsMemo(type)) return table.MemoRead(field);
  const std::string raw = table.FieldGet(field);
  switch (type) {
    case 'L': {
      const char c = raw.empty() ? ' ' : raw[0];
      if (std::string_view("TtYy").find(c) != std::string_view::npos) return "T";
      if (std::string_view("FfNn").find(c) != std::string_view::npos) return "F";
      return "";
    }
    case 'C': {
      std::string_view text = raw;
      while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
      return std::string(text);
    }
    default:
      return std::string(TrimBlanks(raw));
  }
}

// Puts a carried text into a field of the new table's record (memos into its memo file). "" when
// done, or why the value cannot go there.
std::string PutCarried(dBHandler& table, int field, const std::string& text) {
  const char type = table.FieldType(field);
  const int length = table.FieldLen(field);
  if (IsMemo(type)) {
    if (!text.empty()) table.MemoWrite(field, text);
    return "";
  }
  if (IsBlank(text)) {
    table.FieldPut(field, "");
    return "";
  }
  switch (type) {
    case 'C': {
      std::string_view value = text;
      while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
      if (value.size() > static_cast<size_t>(length)) return "longer than " + std::to_string(length) + " characters";
      table.FieldPut(field, value);
      return "";
    }
    case 'N':
    case 'F': {
      std::optional<long double> value = ParseDecimal(text);
      if (!value) return "not a number";
      try {
        table.NumberPut(field, *value);
      } catch (const EngineError&) {
        return "too wide for " + std::string(1, type) + " " + std::to_string(length) + " " +
               std::to_string(table.FieldDecimals(field));
      }
      return "";
    }
    case 'D': {
      const std::string_view value = TrimBlanks(text);
      bool digits = value.size() == 8 && value.find_first_not_of("0123456789") == std::string_view::npos;
      if (digits) {
        const int year = std::stoi(std::string(value.substr(0, 4)));
        const int month = std::stoi(std::string(value.substr(4, 2)));
        const int day = std::stoi(std::string(value.substr(6, 2)));
        digits = DBFDate::PartsToJul(year, month, day) > 0;
      }
      if (!digits) return "not a date (yyyymmdd)";
      table.FieldPut(field, value);
      return "";
    }
    case 'L': {
      const std::string_view value = TrimBlanks(text);
      if (value.size() == 1 && std::string_view("TtYy").find(value[0]) != std::string_view::npos) {
        table.FieldPut(field, "T");
      } else if (value.size() == 1 && std::string_view("FfNn").find(value[0]) != std::string_view::npos) {
        table.FieldPut(field, "F");
      } else if (value != "?") {
        return "not a logical value";
      } else {
        table.FieldPut(field, "");
      }
      return "";
    }
    default:
      return "of a type that takes no values";
  }
}

// The dialect of the new table: the old table's memo kind, or for a table without one the
// dialect asked for, else the one its production index implies.
int DialectOf(dBHandler& table, const RestructureOptions& options, const std::string& production) {
  switch (table.version()) {
    case kVersionDb3Memo:
      return 1;
    case kVersionDb4Memo:
      return 2;
    case kVersionFoxMemo:
      return 3;
    case kVersionDb3:
    case kVersionNoMemo:
      if (options.dialect >= 1 && options.dialect <= 3) return options.dialect;
      if (!production.empty()) {
        return platform::EqualIgnoringAsciiCase(production.substr(production.size() - 4), ".cdx") ? 3 : 2;
      }
      return table.version() == kVersionNoMemo ? 2 : 1;
    default: {
      char version[8];
      std::snprintf(version, sizeof version, "0x%02X", table.version());
      throw EngineError(kFieldListInvalid, FormatText(MessageText(kFieldListInvalid), {table.file_name()}) +
                                               ": tables of version " + version + " cannot be restructured");
    }
  }
}

std::unique_ptr<DBFBuild> BuilderFor(int dialect, const std::string& path) {
  if (dialect == 2) return std::make_unique<DB4Build>(path);
  if (dialect == 3) return std::make_unique<DBFoxBuild>(path);
  return std::make_unique<DBFBuild>(path);
}

// Copies a whole file as `source` reads it into `target` (a new file), clearing the structural
// index flag of a table's header when `table_header`.
void CopyWhole(DiskFile& source, const std::string& target, bool table_header) {
  DiskFile out(target, true, false);
  out.Create();
  const int64_t size = source.FileSize();
  std::vector<uint8_t> chunk(kCopyChunk);
  for (int64_t at = 0; at < size;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(size - at, static_cast<int64_t>(chunk.size())));
    if (source.DiskFile::Read(static_cast<uint64_t>(at), chunk.data(), want) != static_cast<int64_t>(want)) {
      throw EngineError::Make(kReadError, source.file_name());
    }
    if (at == 0 && table_header && want > dbf_layout::kTableFlags) {
      chunk[dbf_layout::kTableFlags] &= static_cast<uint8_t>(~kStructuralIndexFlag);
    }
    out.Write(static_cast<uint64_t>(at), chunk.data(), want);
    at += static_cast<int64_t>(want);
  }
  out.Flush();
}

struct IndexPlan {
  std::string path;
  std::vector<TagDefinition> tags;
};

IndexPlan PlanOf(const IndexFile& file) {
  IndexPlan plan;
  plan.path = file.path();
  for (int i = 0; i < file.tag_count(); ++i) {
    const IndexTag& tag = *file.tag(i);
    plan.tags.push_back(TagDefinition{tag.name(), tag.key_expression(), tag.for_expression(), tag.unique(),
                                      tag.descending()});
  }
  return plan;
}

// Every tag expression compiled on the new table; the ones that fail, described.
std::string TagsThatFail(dBHandler& target, const std::vector<IndexPlan>& plans) {
  std::string failures;
  auto check = [&](const IndexPlan& plan, const TagDefinition& tag, const std::string& what,
                   const std::string& expression) {
    if (expression.empty()) return;
    try {
      ExpHandler compiled(target.link());
      compiled.SetExpression(expression);
    } catch (const EngineError& e) {
      failures += "; tag " + tag.name + " of " + NameOf(plan.path) + ": " + what + " \"" + expression + "\": " + e.what();
    }
  };
  for (const IndexPlan& plan : plans) {
    for (const TagDefinition& tag : plan.tags) {
      check(plan, tag, "key", tag.key_expression);
      check(plan, tag, "FOR", tag.for_expression);
    }
  }
  return failures;
}

std::string DescribeLosses(const std::vector<CarryLoss>& losses) {
  std::string text;
  for (size_t i = 0; i < losses.size() && i < kLossesInMessage; ++i) {
    const CarryLoss& loss = losses[i];
    text += "; record " + std::to_string(loss.record) + " " + loss.field + " \"" + loss.value + "\": " + loss.reason;
  }
  if (losses.size() > kLossesInMessage) text += "; ...";
  return text;
}

}  // namespace

RestructureResult RestructureTable(const std::string& table_name, const FieldChanges& changes,
                                   const RestructureOptions& options) {
  RestructureResult result;
  dBHandler source(table_name, options.password, true, false);
  const std::string table = source.file_name();
  const std::vector<PlannedField> fields = PlanFields(source.descriptors(), changes, table);

  // The tags to build again, by file; the production index's file is built with the table.
  std::vector<IndexPlan> indexes;
  std::string production;
  if (source.OpenProductionIndex()) {
    production = source.IndexFileAt(1)->path();
    indexes.push_back(PlanOf(*source.IndexFileAt(1)));
  }
  for (const std::string& name : options.index_files) {
    IndexFile* file = source.OpenIndexFile(name);
    if (file->path() == production) continue;
    indexes.push_back(PlanOf(*file));
  }
  source.CloseIndexes();
  const int dialect = DialectOf(source, options, production);

  TableReplacement replacement(table, false);
  {
    std::unique_ptr<DBFBuild> builder = BuilderFor(dialect, replacement.new_table());
    for (const PlannedField& f : fields) builder->AddField(f.field.name, f.field.type, f.field.length, f.field.decimals);
    builder->Build();
  }
  // The code page mark tells other programs how to read the texts, which go over unchanged.
  const uint8_t code_page = source.header()[dbf_layout::kCodePage];
  if (code_page != 0) {
    DiskFile file(replacement.new_table(), true, false);
    file.Open();
    file.Write(dbf_layout::kCodePage, &code_page, 1);
    file.Flush();
  }
  if (source.encrypted()) {
    dBHandler fresh(replacement.new_table(), "", true, false);
    fresh.SetPassword(options.password);
  }

  {
    dBHandler target(replacement.new_table(), options.password, true, false);
    target.set_user_id(source.user_id());
    const std::string failing = TagsThatFail(target, indexes);
    if (!failing.empty()) {
      throw EngineError(kFieldListInvalid, FormatText(MessageText(kFieldListInvalid), {table}) +
                                               ": index tags would not compile on the new fields" + failing);
    }
    if (target.has_memo()) target.memo();

    // New field number -> the old one, and whether the bytes can go over as they are.
    std::vector<int> from(fields.size() + 1, 0);
    std::vector<bool> raw(fields.size() + 1, false);
    for (size_t i = 0; i < fields.size(); ++i) {
      const int n = static_cast<int>(i + 1);
      from[i + 1] = fields[i].source;
      if (fields[i].source == 0) continue;
      raw[i + 1] = !IsMemo(target.FieldType(n)) && source.FieldType(fields[i].source) == target.FieldType(n) &&
                   source.FieldLen(fields[i].source) == target.FieldLen(n) &&
                   source.FieldDecimals(fields[i].source) == target.FieldDecimals(n);
    }

    source.SetReadAhead(true);
    for (int32_t n = 1; n <= source.record_count(); ++n) {
      source.dBaseFld::GetRecord(n);
      target.Blank();
      for (int f = 1; f <= target.field_count(); ++f) {
        if (from[f] == 0) continue;
        if (raw[f]) {
          std::memcpy(target.record() + target.FieldOffset(f), source.record() + source.FieldOffset(from[f]),
                      static_cast<size_t>(target.FieldLen(f)));
          continue;
        }
        const std::string text = CarriedText(source, from[f]);
        const std::string why = PutCarried(target, f, text);
        if (!why.empty()) {
          result.losses.push_back(CarryLoss{n, target.FieldName(f), text, why});
          target.FieldPut(f, "");
        }
      }
      target.record()[0] = source.deleted() ? '*' : ' ';
      target.Append();
    }
    source.SetReadAhead(false);
    target.Flush();
    if (!result.losses.empty() && !options.force) {
      throw LossesRefused(FormatText(MessageText(kFieldListInvalid), {table}) + ": " +
                              std::to_string(result.losses.size()) + " values would not fit their new fields" +
                              DescribeLosses(result.losses),
                          std::move(result.losses));
    }
    result.records = target.record_count();

    if (!production.empty()) {
      const std::string path = replacement.WorkPath(NameOf(production));
      for (const TagDefinition& tag : indexes.front().tags) {
        target.DefineTag(path, tag);
        result.rebuilt_tags.push_back(tag.name);
      }
    }
    target.Flush();
  }

  // The old files, kept beside the new ones.
  result.backup = CompanionFileName(table, ".BAK");
  CopyWhole(source, replacement.WorkPath(NameOf(result.backup)), true);
  std::string old_memo;
  if (source.has_memo() && source.memo() != nullptr) {
    old_memo = source.memo()->file_name();
    CopyWhole(*source.memo(), replacement.WorkPath(NameOf(CompanionFileName(table, ".TBK"))), false);
  }
  replacement.Commit();

  // A memo file the new table no longer uses (no memo fields, or another memo kind) is in the
  // backup: it goes, so that nobody pairs it with the new table; so does the memo backup of an
  // earlier restructure when this backup has none.
  source.Close();
  if (old_memo.empty()) {
    const std::string stale = platform::ResolveCase(CompanionFileName(table, ".TBK"));
    if (platform::FileExists(stale)) std::remove(stale.c_str());
  }
  if (!old_memo.empty()) {
    dBaseDBF probe(table, options.password, false, true);
    const std::string new_memo =
        probe.has_memo() ? platform::ResolveCase(MemoFile::MemoFileName(probe.version(), table)) : std::string();
    if (!platform::EqualIgnoringAsciiCase(new_memo, old_memo)) std::remove(old_memo.c_str());
  }

  // The other index files, built again on the new table in place.
  if (indexes.size() > (production.empty() ? 0u : 1u)) {
    dBHandler rebuilt(table, options.password, true, false);
    for (size_t i = production.empty() ? 0 : 1; i < indexes.size(); ++i) {
      try {
        std::remove(indexes[i].path.c_str());
        for (const TagDefinition& tag : indexes[i].tags) {
          rebuilt.DefineTag(indexes[i].path, tag);
          result.rebuilt_tags.push_back(tag.name);
        }
      } catch (const EngineError& e) {
        throw EngineError(e.number(), std::string(e.what()) + " (the table was restructured; index file " +
                                          indexes[i].path + " is to be created again)");
      }
    }
  }
  return result;
}

}  // namespace dbase
