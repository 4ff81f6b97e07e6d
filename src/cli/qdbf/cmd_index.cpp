// qdbf index create|list|dump|seek|check|reindex|delete-tag: index files beside a table. Dumps
// print one `recno<TAB>stored key in lower-case hex` line per key in the tag's order.
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "cli/qdbf/commands.h"
#include "cli/qdbf/table_io.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "index/index_file.h"
#include "index/index_tag.h"
#include "platform/ascii_case.h"

namespace qdbf {

namespace {

struct IndexArgs {
  std::string table;
  std::string password;
  std::vector<std::string> files;
  std::string file;
  std::string tag;
  std::string key;
  std::string for_expression;
  std::string value;
  bool unique = false;
  bool descending = false;
  bool exact = false;
  bool last = false;
  bool soft = false;
  bool exclusive = false;
  bool json = false;
};

std::unique_ptr<dbase::dBHandler> Open(const IndexArgs& args, bool read_write) {
  OpenOptions options;
  options.password = args.password;
  options.read_write = read_write;
  options.exclusive = args.exclusive;
  return OpenTable(args.table, options);
}

// The tag named by --tag in `file`, or its first.
dbase::IndexTag& TagOf(dbase::IndexFile& file, const std::string& name) {
  dbase::IndexTag* tag = name.empty() ? (file.tag_count() > 0 ? file.tag(0) : nullptr) : file.FindTag(name);
  if (tag == nullptr) throw dbase::EngineError::Make(dbase::kNoIndexTag, name);
  return *tag;
}

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

void Write(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    throw std::runtime_error("Error writing to standard output");
  }
}

int64_t CountKeys(dbase::IndexTag& tag) {
  tag.ClearRange();
  int64_t n = 0;
  for (int32_t r = tag.Position(dbase::kFirst); r != 0; r = tag.Position(dbase::kNext)) ++n;
  return n;
}

void RunCreate(const IndexArgs& args) {
  OpenOptions options;
  options.password = args.password;
  options.read_write = true;
  options.exclusive = args.exclusive;
  options.production_index = false;
  auto t = OpenTable(args.table, options);
  try {
    t->OpenProductionIndex();
  } catch (const dbase::EngineError& e) {
    // A lost production index is what this verb makes again: the table opens without it.
    if (e.number() != dbase::kFileNotFound) throw;
  }
  dbase::TagDefinition definition;
  definition.name = args.tag.empty() ? dbase::platform::UpperAscii(dbase::BaseName(args.file)) : args.tag;
  definition.key_expression = Utf8ToCp1252(args.key);
  definition.for_expression = Utf8ToCp1252(args.for_expression);
  definition.unique = args.unique;
  definition.descending = args.descending;
  t->DefineTag(args.file, definition);
}

void RunList(const IndexArgs& args) {
  auto t = Open(args, false);
  std::string out;
  for (const std::string& name : args.files) {
    dbase::IndexFile* file = t->OpenIndexFile(name);
    for (int i = 0; i < file->tag_count(); ++i) {
      dbase::IndexTag& tag = *file->tag(i);
      const int64_t keys = CountKeys(tag);
      if (args.json) {
        out += "{\"file\":" + JsonString(Cp1252ToUtf8(file->file_name())) + ",\"tag\":" + JsonString(Cp1252ToUtf8(tag.name())) +
               ",\"key\":" + JsonString(Cp1252ToUtf8(tag.key_expression())) +
               ",\"for\":" + JsonString(Cp1252ToUtf8(tag.for_expression())) + ",\"type\":\"" + tag.key_type() +
               "\",\"length\":" + std::to_string(tag.key_length()) + ",\"unique\":" + (tag.unique() ? "true" : "false") +
               ",\"descending\":" + (tag.descending() ? "true" : "false") + ",\"keys\":" + std::to_string(keys) + "}\n";
      } else {
        out += Cp1252ToUtf8(tag.name()) + "\tkey=" + Cp1252ToUtf8(tag.key_expression()) +
               "\tfor=" + Cp1252ToUtf8(tag.for_expression()) + "\ttype=" + tag.key_type() +
               "\tlength=" + std::to_string(tag.key_length()) + "\tunique=" + (tag.unique() ? "T" : "F") +
               "\tdescending=" + (tag.descending() ? "T" : "F") + "\tkeys=" + std::to_string(keys) + "\n";
      }
    }
  }
  Write(out);
}

void RunDumpKeys(const IndexArgs& args) {
  auto t = Open(args, false);
  dbase::IndexTag& tag = TagOf(*t->OpenIndexFile(args.file), args.tag);
  tag.ClearRange();
  std::string out;
  for (int32_t r = tag.Position(dbase::kFirst); r != 0; r = tag.Position(dbase::kNext)) {
    out += std::to_string(r) + "\t" + Hex(tag.current_key()) + "\n";
    if (out.size() > 60000) {
      Write(out);
      out.clear();
    }
  }
  Write(out);
}

void RunSeek(const IndexArgs& args) {
  auto t = Open(args, false);
  dbase::IndexTag& tag = TagOf(*t->OpenIndexFile(args.file), args.tag);
  t->set_exact_search(args.exact);
  const std::string key = tag.SearchKeyOf(tag.ValueFromText(Utf8ToCp1252(args.value)));
  const int32_t r = args.last ? tag.SeekLast(key) : tag.Seek(key);
  if (tag.found()) {
    Write("found " + std::to_string(r) + "\n");
  } else {
    Write("not-found " + std::to_string(tag.eof() ? 0 : tag.record()) + "\n");
  }
}

void RunCheck(const IndexArgs& args) {
  OpenOptions options;
  options.password = args.password;
  options.exclusive = args.exclusive;
  options.production_index = false;
  auto t = OpenTable(args.table, options);
  for (const std::string& name : args.files) t->OpenIndexFile(name);
  const std::string problem = t->CheckIndexes();
  if (!problem.empty()) throw std::runtime_error(problem);
  Write("ok\n");
}

void RunReindex(const IndexArgs& args) {
  auto t = Open(args, true);
  for (const std::string& name : args.files) t->OpenIndexFile(name);
  t->Reindex();
}

void RunDeleteTag(const IndexArgs& args) {
  auto t = Open(args, true);
  dbase::IndexFile* file = t->OpenIndexFile(args.file);
  dbase::IndexTag& tag = TagOf(*file, args.tag);
  t->DeleteTag(tag.name());
}

CLI::App* Verb(CLI::App& index, const char* name, const char* help, IndexArgs& args, bool many_files) {
  CLI::App* cmd = index.add_subcommand(name, help);
  cmd->add_option("table", args.table, "Table file")->required();
  if (many_files) {
    cmd->add_option("files", args.files, "Index files")->required();
  } else {
    cmd->add_option("file", args.file, "Index file")->required();
  }
  cmd->add_option("--password", args.password, "Password of an enciphered table");
  cmd->add_flag("--exclusive", args.exclusive, "Open the table exclusively (default: shared)");
  return cmd;
}

}  // namespace

void RegisterIndex(CLI::App& app) {
  CLI::App* index = app.add_subcommand("index", "Index files: create, list, dump, seek, check, reindex, delete-tag");
  index->require_subcommand(1);

  auto create = std::make_shared<IndexArgs>();
  CLI::App* cmd = Verb(*index, "create", "Create an index file or a tag of a multi-tag file", *create, false);
  cmd->add_option("--key", create->key, "Key expression")->required();
  cmd->add_option("--tag", create->tag, "Tag name (default: the file's name)");
  cmd->add_option("--for", create->for_expression, "Only records for which this expression is true");
  cmd->add_flag("--unique", create->unique, "One entry per key");
  cmd->add_flag("--descending", create->descending, "Keys from high to low");
  cmd->callback([create] { RunCreate(*create); });

  auto list = std::make_shared<IndexArgs>();
  cmd = Verb(*index, "list", "Tags with their expressions, key type and length, flags and key count", *list, true);
  cmd->add_flag("--json", list->json, "One JSON object per tag");
  cmd->callback([list] { RunList(*list); });

  auto dump = std::make_shared<IndexArgs>();
  cmd = Verb(*index, "dump", "recno<TAB>key hex per key in the tag's order", *dump, false);
  cmd->add_option("--tag", dump->tag, "Tag name (default: the first)");
  cmd->callback([dump] { RunDumpKeys(*dump); });

  auto seek = std::make_shared<IndexArgs>();
  cmd = Verb(*index, "seek", "Seek a key: found RECNO or not-found RECNO (0 past the last key)", *seek, false);
  cmd->add_option("value", seek->value, "Text, a number, or a date as yyyymmdd")->required();
  cmd->add_option("--tag", seek->tag, "Tag name (default: the first)");
  cmd->add_flag("--exact", seek->exact, "The key must match over its whole length");
  cmd->add_flag("--last", seek->last, "The last entry of the key");
  cmd->callback([seek] { RunSeek(*seek); });

  auto check = std::make_shared<IndexArgs>();
  cmd = Verb(*index, "check", "Check page structure, order and entries against the table", *check, true);
  cmd->callback([check] { RunCheck(*check); });

  auto reindex = std::make_shared<IndexArgs>();
  cmd = Verb(*index, "reindex", "Rebuild index files from the table", *reindex, true);
  cmd->callback([reindex] { RunReindex(*reindex); });

  auto remove = std::make_shared<IndexArgs>();
  cmd = Verb(*index, "delete-tag", "Remove a tag from an MDX or CDX file", *remove, false);
  cmd->add_option("tag", remove->tag, "Tag name")->required();
  cmd->callback([remove] { RunDeleteTag(*remove); });
}

}  // namespace qdbf
