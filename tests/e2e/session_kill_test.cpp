// Load and unload sessions killed (SIGKILL) at random moments. After each kill the product table
// on the desktop and on the handheld is the old one or the whole new one, and no count the
// handheld held is lost; a second session, asked for again, completes the job: the handheld has
// the new products, or the counts are exported whole, and nothing temporary is left.
//
// Each kind runs for QUARVEL_KILL_SECONDS seconds (default 2) and at least 6 times; the kill
// moments come from QUARVEL_KILL_SEED (default fixed), printed when an assertion fails.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "e2e/session_fixture.h"
#include "exchange/handheld_tables.h"

namespace quarvel::e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Rows_ = std::vector<std::string>;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

#ifdef __SANITIZE_ADDRESS__
constexpr int kProducts = 4000;  // the sanitizer build is about ten times slower
#else
constexpr int kProducts = 20000;
#endif
constexpr int kCounts = kProducts;

double BudgetSeconds() {
  const char* text = std::getenv("QUARVEL_KILL_SECONDS");
  return text != nullptr ? std::max(0.1, std::atof(text)) : 2.0;
}

uint64_t Seed() {
  const char* text = std::getenv("QUARVEL_KILL_SEED");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : 20261207;
}

// The rows of a table, or one line naming the reader's error (or a missing file).
Rows_ RowsOrError(const std::string& path) {
  if (!fs::exists(path)) return {"missing"};
  try {
    return Rows(path);
  } catch (const std::exception& error) {
    return {std::string("error: ") + error.what()};
  }
}

class SessionKillTest : public ::testing::Test {
 protected:
  // A desktop and a handheld of their own for each run (a killed run leaves its folders as
  // they were at the kill).
  std::unique_ptr<SessionFixture> NewDesk() {
    auto desk = std::make_unique<SessionFixture>();
    desk->UseRealExchange();
    CreateHandheldTables(desk->home());
    return desk;
  }

  // One session in a child process, killed after `delay` (never when negative); whether it
  // finished by itself.
  static bool RunSession(SessionFixture& desk, std::chrono::microseconds delay) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      int code = 0;
      try {
        desk.Start();
        desk.Session();
      } catch (...) {
        code = 3;
      }
      _exit(code);
    }
    if (delay.count() >= 0) {
      std::this_thread::sleep_for(delay);
      kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // Files left in the desktop's folders that are neither tables, exports nor inputs.
  static std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> left;
    for (const std::string& name : testsupport::FilesIn(folder)) {
      if (name.find('~') != std::string::npos || name.rfind("TEMPSORT", 0) == 0) left.push_back(name);
    }
    return left;
  }
};

TEST_F(SessionKillTest, AKilledLoadLeavesOldOrNewProductTablesAndTheNextLoadCompletes) {
  std::string input;
  for (int i = 0; i < kProducts; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%-20d%-40s\r\n", (i * 7919) % 100000, ("produto " + std::to_string(i)).c_str());
    input += line;
  }
  const std::vector<std::vector<std::string>> old_products = {{"1", "velho um"}, {"2", "velho dois"}};
  auto prepare = [&](SessionFixture& desk) {
    MakeTable(desk.home() + "/PRODUTOS.DBF", {"CODIGO;C;20;0", "DESCRICAO;C;40;0"}, old_products);
    fs::copy_file(desk.home() + "/PRODUTOS.DBF", desk.handheld() + "/PRODUTOS.DBF");
    WriteFileBytes(desk.home() + "/PRODUTOS.txt", input);
    desk.Request({{"C", "PRODUTOS.DBF"}});
  };

  // One run undisturbed: the new table and how long a load takes.
  Rows_ old_rows, new_rows;
  double seconds = 0;
  {
    auto desk = NewDesk();
    prepare(*desk);
    old_rows = RowsOrError(desk->home() + "/PRODUTOS.DBF");
    const auto start = Clock::now();
    ASSERT_TRUE(RunSession(*desk, std::chrono::microseconds(-1)));
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    new_rows = RowsOrError(desk->home() + "/PRODUTOS.DBF");
    ASSERT_EQ(new_rows.size(), static_cast<size_t>(kProducts));
    ASSERT_EQ(RowsOrError(desk->handheld() + "/PRODUTOS.DBF"), new_rows);
  }

  std::mt19937_64 random(Seed());
  int runs = 0, finished = 0;
  const auto start = Clock::now();
  while (runs < 6 || std::chrono::duration<double>(Clock::now() - start).count() < BudgetSeconds()) {
    auto desk = NewDesk();
    prepare(*desk);
    const std::chrono::microseconds delay(
        std::uniform_int_distribution<int64_t>(0, static_cast<int64_t>(seconds * 1.1e6))(random));
    SCOPED_TRACE("load killed after " + std::to_string(delay.count()) + " us, seed " + std::to_string(Seed()));
    if (RunSession(*desk, delay)) ++finished;
    ++runs;
    for (const std::string& table : {desk->home() + "/PRODUTOS.DBF", desk->handheld() + "/PRODUTOS.DBF"}) {
      const Rows_ rows = RowsOrError(table);
      EXPECT_TRUE(rows == old_rows || rows == new_rows) << table << ": " << rows.front();
    }
    // The user asks again.
    desk->Request({{"C", "PRODUTOS.DBF"}});
    ASSERT_TRUE(RunSession(*desk, std::chrono::microseconds(-1)));
    EXPECT_EQ(RowsOrError(desk->home() + "/PRODUTOS.DBF"), new_rows);
    EXPECT_EQ(RowsOrError(desk->handheld() + "/PRODUTOS.DBF"), new_rows);
    EXPECT_FALSE(fs::exists(desk->home() + "/PRODUTOS.txt"));
    EXPECT_EQ(Leftovers(desk->home()), std::vector<std::string>{});
  }
  std::printf("[ kill     ] load: %d runs (%d finished first), one run %.2f s\n", runs, finished, seconds);
}

TEST_F(SessionKillTest, AKilledUnloadLosesNoCountAndTheNextUnloadExportsThem) {
  std::vector<std::vector<std::string>> counts;
  for (int i = 0; i < kCounts; ++i) counts.push_back({std::to_string(7890000 + i), "0" + std::to_string(i % 9), std::to_string(i % 500)});
  auto prepare = [&](SessionFixture& desk) {
    MakeTable(desk.handheld() + "/CONTAGEM.DBF", {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"}, counts);
    desk.Request({{"D", "CONTAGEM.DBF"}});
  };

  Rows_ sent;
  std::string export_text;
  double seconds = 0;
  {
    auto desk = NewDesk();
    prepare(*desk);
    sent = RowsOrError(desk->handheld() + "/CONTAGEM.DBF");
    const auto start = Clock::now();
    ASSERT_TRUE(RunSession(*desk, std::chrono::microseconds(-1)));
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    export_text = ReadFileBytes(desk->home() + "/IE120701.TXT");
    ASSERT_EQ(RowsOrError(desk->home() + "/IE120701.DBF"), sent);
    ASSERT_EQ(RowsOrError(desk->handheld() + "/CONTAGEM.DBF"), Rows_{});
  }

  // Where the counts are: a table that holds them all, or a whole text export of them.
  auto counts_kept = [&](SessionFixture& desk) {
    if (RowsOrError(desk.handheld() + "/CONTAGEM.DBF") == sent) return true;
    for (const std::string& name : testsupport::FilesIn(desk.home())) {
      const std::string path = desk.home() + "/" + name;
      if (name.size() > 4 && name.substr(name.size() - 4) == ".DBF" && RowsOrError(path) == sent) return true;
      if (name.size() > 4 && name.substr(name.size() - 4) == ".TXT" && ReadFileBytes(path) == export_text) return true;
    }
    return false;
  };
  // Every text export is whole: the counts' or an empty table's.
  auto exports_whole = [&](SessionFixture& desk) {
    for (const std::string& name : testsupport::FilesIn(desk.home())) {
      if (name.size() > 4 && name.substr(name.size() - 4) == ".TXT") {
        const std::string bytes = ReadFileBytes(desk.home() + "/" + name);
        EXPECT_TRUE(bytes.empty() || bytes == export_text) << name << " holds " << bytes.size() << " bytes";
      }
    }
  };

  std::mt19937_64 random(Seed() + 1);
  int runs = 0, finished = 0;
  const auto start = Clock::now();
  while (runs < 6 || std::chrono::duration<double>(Clock::now() - start).count() < BudgetSeconds()) {
    auto desk = NewDesk();
    prepare(*desk);
    const std::chrono::microseconds delay(
        std::uniform_int_distribution<int64_t>(0, static_cast<int64_t>(seconds * 1.1e6))(random));
    SCOPED_TRACE("unload killed after " + std::to_string(delay.count()) + " us, seed " + std::to_string(Seed()));
    if (RunSession(*desk, delay)) ++finished;
    ++runs;
    EXPECT_TRUE(counts_kept(*desk)) << "the counts are lost";
    const Rows_ on_handheld = RowsOrError(desk->handheld() + "/CONTAGEM.DBF");
    EXPECT_TRUE(on_handheld == sent || on_handheld.empty()) << on_handheld.front();
    // The user asks again, with what the handheld holds now.
    desk->Request({{"D", "CONTAGEM.DBF"}});
    ASSERT_TRUE(RunSession(*desk, std::chrono::microseconds(-1)));
    EXPECT_TRUE(counts_kept(*desk)) << "the counts are lost";
    bool exported = false;
    for (const std::string& name : testsupport::FilesIn(desk->home())) {
      if (name.size() > 4 && name.substr(name.size() - 4) == ".TXT") {
        exported = exported || ReadFileBytes(desk->home() + "/" + name) == export_text;
      }
    }
    EXPECT_TRUE(exported) << "the second unload did not export the counts";
    exports_whole(*desk);
    EXPECT_EQ(RowsOrError(desk->handheld() + "/CONTAGEM.DBF"), Rows_{});
    EXPECT_EQ(Leftovers(desk->home()), std::vector<std::string>{});
  }
  std::printf("[ kill     ] unload: %d runs (%d finished first), one run %.2f s\n", runs, finished, seconds);
}

}  // namespace
}  // namespace quarvel::e2e
