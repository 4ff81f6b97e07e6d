// The demo run: unpack, two sessions, and a report of every file the sessions wrote.
#include "demo.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>

#include "app/headless_shell.h"
#include "command_line.h"
#include "handler/db_handler.h"
#include "platform/text_encoding.h"
#include "demo_files.h"
#include "headless.h"

namespace quarvel::cli {
namespace fs = std::filesystem;

namespace {

// Table bytes are Windows-1252; the terminal wants UTF-8.
using dbase::platform::Cp1252ToUtf8;

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every file below `root` with its bytes, by relative path.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), root).generic_string()] = ReadWhole(entry.path());
    }
  }
  return files;
}

void Unpack(const fs::path& root) {
  for (const auto& file : demo::DemoFiles()) {
    const fs::path target = root / file.path;
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.bytes), static_cast<std::streamsize>(file.size));
    if (!out) throw std::runtime_error("cannot write " + target.string());
  }
}

// The extension in upper case, dot included ("" when there is none).
std::string UpperExtension(const std::string& path) {
  const auto dot = path.rfind('.');
  if (dot == std::string::npos) return {};
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

// The first lines of an export file between bars, so that the fixed widths show.
void ShowText(const std::string& bytes, std::ostream& out) {
  std::istringstream lines(bytes);
  std::string line;
  for (int n = 0; n < 10 && std::getline(lines, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out << "      |" << Cp1252ToUtf8(line) << "|\n";
  }
}

// The records of a table, one line each, fields separated by " | ".
void ShowTable(const fs::path& path, std::ostream& out) {
  try {
    dbase::dBHandler table(path.string(), "", false, true);
    out << "      " << table.record_count() << " registro(s)";
    for (int f = 1; f <= table.field_count(); ++f) {
      out << (f == 1 ? ": " : ", ") << table.FieldName(f);
    }
    out << '\n';
    for (int32_t r = 1; r <= table.record_count() && r <= 10; ++r) {
      table.GetRecord(r);
      out << "      " << (table.deleted() ? "*" : " ");
      for (int f = 1; f <= table.field_count(); ++f) {
        out << (f == 1 ? "" : " | ") << Cp1252ToUtf8(table.FieldGet(f));
      }
      out << '\n';
    }
  } catch (const std::exception& error) {
    out << "      (" << error.what() << ")\n";
  }
}

}  // namespace

int RunDemo(std::ostream& out, std::ostream& err) {
  std::string base = TempFolder() + "quarvel-demo-XXXXXX";
  if (mkdtemp(base.data()) == nullptr) {
    err << "quarvel-pc: cannot create a temporary folder under " << TempFolder() << '\n';
    return 1;
  }
  const fs::path root(base);
  Unpack(root);
  const auto before = Snapshot(root);

  ApplicationConfig config;
  config.program_folder = (root / "home").string();
  config.root_rule.explicit_root = (root / "hotsync").string();
  config.version = ProgramVersion();

  out << "== Demonstração em " << base << "\n"
      << "   pasta do programa: home/, raiz do HotSync: hotsync/, handhelds: handhelds/\n\n";
  HeadlessShell shell(&err);
  Application app(config, shell);
  if (!StartHeadless(app, out, err)) return 1;
  MainWindow& window = app.Window();
  out << "== HotSync de handhelds/carga (pede a carga de produtos)\n";
  app.HotSync().RunSession((root / "handhelds" / "carga").string());
  out << "== HotSync de handhelds/descarga (pede a descarga das contagens)\n";
  app.HotSync().RunSession((root / "handhelds" / "descarga").string());
  window.ClickDeactivate();
  window.RequestClose();

  out << "== Arquivos gravados (em " << base << ")\n";
  const auto after = Snapshot(root);
  for (const auto& [path, bytes] : after) {
    const auto old = before.find(path);
    if (old != before.end() && old->second == bytes) continue;
    out << "   " << (old == before.end() ? "novo     " : "alterado ") << path << " (" << bytes.size()
        << " bytes)\n";
    const std::string extension = UpperExtension(path);
    if (extension == ".DBF") ShowTable(root / path, out);
    if (extension == ".TXT" || extension == ".CSV") ShowText(bytes, out);
  }
  return window.EscapedErrors() == 0 ? 0 : 1;
}

}  // namespace quarvel::cli
