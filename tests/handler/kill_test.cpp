// The kill test: qdbf encrypt, decrypt, sort, copy and zap on a table of 100,000 records with
// memos, killed (SIGKILL) at a random moment, and the same operations on a disk that fills up at
// a random write. Each time the table, and a copy's target, must open whole afterwards, holding
// either the old or the new contents, with no temporary file left.
//
// Each verb runs for QUARVEL_KILL_SECONDS seconds (default 2) and at least twice; the kill
// moments come from QUARVEL_KILL_SEED (default fixed), printed when an assertion fails. The
// sanitizer build runs it only when QUARVEL_KILL_SECONDS is set: there it takes minutes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "handler/db_handler.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "platform/file_faults.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testsupport::FilesIn;
using testsupport::TempDir;

constexpr int kRecords = 100000;
#ifdef __SANITIZE_ADDRESS__
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
constexpr const char* kPassword = "segredo";

double BudgetSeconds() {
  const char* text = std::getenv("QUARVEL_KILL_SECONDS");
  return text != nullptr ? std::max(0.1, std::atof(text)) : 2.0;
}

uint64_t Seed() {
  const char* text = std::getenv("QUARVEL_KILL_SEED");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : 20241207;
}

// A hash of every record (deleted ones too) with its memo; 0 when the table does not open or read.
uint64_t Fingerprint(const std::string& path, const std::string& password) {
  uint64_t hash = 1469598103934665603ull;
  auto mix = [&](const std::string& bytes) {
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    hash = (hash ^ 0xFF) * 1099511628211ull;
  };
  try {
    dBHandler t(path, password, false, false);
    t.SetReadAhead(true);
    mix(std::to_string(t.record_count()));
    for (int32_t n = 1; n <= t.record_count(); ++n) {
      t.GetRecord(n);
      mix(std::string(t.deleted() ? "*" : " ") + t.FieldGet(1) + t.FieldGet(2) + t.StringGet(3));
    }
  } catch (const EngineError&) {
    return 0;
  }
  return hash;
}

void MakeTable(const std::string& path, int count) {
  {
    DBFoxBuild b(path);
    b.AddField("CODIGO", 'C', 10, 0);
    b.AddField("QTD", 'N', 8, 0);
    b.AddField("OBS", 'M', 10, 0);
    b.Build();
  }
  dBHandler t(path, "", true, false);
  for (int i = 1; i <= count; ++i) {
    t.Blank();
    t.StringPut(1, "C" + std::to_string((i * 7919) % count));
    t.NumberPut(2, i % 1000);
    t.StringPut(3, i % 5 == 0 ? "" : "memo " + std::to_string(i));
    t.Append();
    if (i % 97 == 0) t.Delete();
  }
}

// One verb: its qdbf arguments, how to open the table before and after, and whether it writes a
// target rather than the table itself.
struct Verb {
  std::string name;
  std::vector<std::string> args;  // after the table path (and before the target when there is one)
  bool enciphered_before = false;
  bool enciphered_after = false;
  bool has_target = false;
};

std::vector<Verb> Verbs() {
  return {
      {"encrypt", {"--password", kPassword}, false, true, false},
      {"decrypt", {"--password", kPassword}, true, false, false},
      {"sort", {"--key", "CODIGO", "--descending"}, false, false, true},
      {"copy", {}, false, false, true},
      {"zap", {}, false, false, false},
  };
}

// What a whole table holds before and after a verb, from one uninterrupted run of qdbf.
struct Expected {
  uint64_t old_state = 0;
  uint64_t new_state = 0;
  double seconds = 0;
};

class KillTest : public ::testing::Test {
 protected:
  // The original tables are made once for the suite: a plain one, the same enciphered, and an
  // older table for the copies to replace.
  static void SetUpTestSuite() {
    if (testsupport::QdbfPath() == nullptr || (kSanitized && std::getenv("QUARVEL_KILL_SECONDS") == nullptr)) return;
    originals_ = new TempDir();
    MakeTable(Orig("K.DBF"), kRecords);
    MakeTable(Orig("OLD.DBF"), 10);
    fs::copy_file(Orig("K.DBF"), Orig("E.DBF"));
    fs::copy_file(Orig("K.FPT"), Orig("E.FPT"));
    dBHandler e(Orig("E.DBF"), "", true, false);
    e.SetPassword(kPassword);
    ready_ = true;
  }
  static void TearDownTestSuite() {
    delete originals_;
    originals_ = nullptr;
    references_.clear();
  }
  void SetUp() override {
    if (testsupport::QdbfPath() == nullptr) GTEST_SKIP() << "QDBF not set (run through ctest)";
    if (kSanitized && std::getenv("QUARVEL_KILL_SECONDS") == nullptr) {
      GTEST_SKIP() << "minutes under the sanitizers; FailingDiskTest runs the same code there (set QUARVEL_KILL_SECONDS to run)";
    }
    // googletest turns an exception in SetUpTestSuite into a skip; a suite that could not make
    // its tables must fail instead.
    ASSERT_TRUE(ready_) << "the suite's original tables could not be made";
  }

  static std::string Orig(const std::string& name) { return originals_->File(name); }
  std::string Work(const std::string& name) const { return dir_.File("work/" + name); }

  // A fresh work folder with the verb's table (and an older target for copies).
  void Prepare(const Verb& verb) {
    fs::remove_all(dir_.File("work"));
    fs::create_directories(dir_.File("work"));
    const std::string source = verb.enciphered_before ? "E" : "K";
    fs::copy_file(Orig(source + ".DBF"), Work("K.DBF"));
    fs::copy_file(Orig(source + ".FPT"), Work("K.FPT"));
    if (verb.has_target) {
      fs::copy_file(Orig("OLD.DBF"), Work("T.DBF"));
      fs::copy_file(Orig("OLD.FPT"), Work("T.FPT"));
    }
  }

  std::vector<std::string> Arguments(const Verb& verb) const {
    std::vector<std::string> args = {verb.name, Work("K.DBF")};
    if (verb.has_target) args.push_back(Work("T.DBF"));
    args.insert(args.end(), verb.args.begin(), verb.args.end());
    return args;
  }

  std::string Checked(const Verb& verb) const { return verb.has_target ? Work("T.DBF") : Work("K.DBF"); }
  std::string PasswordBefore(const Verb& verb) const {
    return verb.enciphered_before && !verb.has_target ? kPassword : "";
  }
  std::string PasswordAfter(const Verb& verb) const { return verb.enciphered_after ? kPassword : ""; }

  const Expected& Reference(const Verb& verb) {
    auto found = references_.find(verb.name);
    if (found != references_.end()) return found->second;
    Prepare(verb);
    Expected e;
    e.old_state = Fingerprint(Checked(verb), PasswordBefore(verb));
    const auto start = Clock::now();
    pid_t pid = testsupport::StartQdbf(Arguments(verb));
    int status = 0;
    waitpid(pid, &status, 0);
    e.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << verb.name;
    e.new_state = Fingerprint(Checked(verb), PasswordAfter(verb));
    EXPECT_NE(e.old_state, 0u);
    EXPECT_NE(e.new_state, 0u);
    return references_[verb.name] = e;
  }

  // The table (or target) holds the old or the new contents, whole; nothing else is left in the
  // folder. The source of a copy is the originals' file, which the copy only reads.
  void CheckWhole(const Verb& verb, const Expected& e, const std::string& what) {
    SCOPED_TRACE(what + ", seed " + std::to_string(Seed()));
    const bool whole = Fingerprint(Checked(verb), PasswordBefore(verb)) == e.old_state ||
                       Fingerprint(Checked(verb), PasswordAfter(verb)) == e.new_state;
    EXPECT_TRUE(whole);
    const std::vector<std::string> files =
        verb.has_target ? std::vector<std::string>{"K.DBF", "K.FPT", "T.DBF", "T.FPT"}
                        : std::vector<std::string>{"K.DBF", "K.FPT"};
    EXPECT_EQ(FilesIn(dir_.File("work")), files);
  }

  static TempDir* originals_;
  static inline bool ready_ = false;
  static std::map<std::string, Expected> references_;
  TempDir dir_;
};

TempDir* KillTest::originals_ = nullptr;
std::map<std::string, Expected> KillTest::references_;

TEST_F(KillTest, AVerbKilledAtAnyMomentLeavesTheOldOrTheNewTable) {
  std::mt19937_64 random(Seed());
  for (const Verb& verb : Verbs()) {
    const Expected& e = Reference(verb);
    int runs = 0, finished = 0;
    const auto start = Clock::now();
    while (runs < 2 || std::chrono::duration<double>(Clock::now() - start).count() < BudgetSeconds()) {
      Prepare(verb);
      const auto delay = std::chrono::microseconds(
          std::uniform_int_distribution<int64_t>(0, static_cast<int64_t>(e.seconds * 1.1e6))(random));
      pid_t pid = testsupport::StartQdbf(Arguments(verb));
      std::this_thread::sleep_for(delay);
      kill(pid, SIGKILL);
      int status = 0;
      waitpid(pid, &status, 0);
      if (WIFEXITED(status)) ++finished;
      CheckWhole(verb, e, verb.name + " killed after " + std::to_string(delay.count()) + " us");
      ++runs;
    }
    std::printf("[ kill     ] %s: %d runs (%d finished first), one run %.2f s\n", verb.name.c_str(), runs, finished,
                e.seconds);
  }
}

// The same verbs in this process, on a disk that fills up at a random write: the verb fails
// with the engine's message and the old table stays, or it finished before.
TEST_F(KillTest, AVerbOnADiskThatFillsUpLeavesTheOldOrTheNewTable) {
  std::mt19937_64 random(Seed() + 1);
  for (const Verb& verb : Verbs()) {
    const Expected& e = Reference(verb);
    // The writes one uninterrupted run makes.
    Prepare(verb);
    uint64_t writes = 0;
    auto run = [&](dBHandler& t) {
      if (verb.name == "encrypt") t.SetPassword(kPassword);
      if (verb.name == "decrypt") t.SetPassword("");
      if (verb.name == "zap") t.Zap();
      if (verb.name == "copy") t.CopyFile(Work("T.DBF"), "");
      if (verb.name == "sort") t.SortFile(Work("T.DBF"), "", 3, "CODIGO");
    };
    {
      dBHandler t(Work("K.DBF"), verb.enciphered_before ? kPassword : "", !verb.has_target, verb.has_target);
      platform::ScopedFileFaultForTesting count({platform::FileOp::kWrite, UINT64_MAX, ENOSPC, false});
      run(t);
      writes = platform::FileCallsSinceArmedForTesting(platform::FileOp::kWrite);
    }
    ASSERT_GT(writes, 2u) << verb.name;
    int runs = 0, failed = 0;
    const auto start = Clock::now();
    while (runs < 2 || std::chrono::duration<double>(Clock::now() - start).count() < BudgetSeconds()) {
      Prepare(verb);
      const uint64_t nth = std::uniform_int_distribution<uint64_t>(1, writes)(random);
      {
        dBHandler t(Work("K.DBF"), verb.enciphered_before ? kPassword : "", !verb.has_target, verb.has_target);
        platform::ScopedFileFaultForTesting full({platform::FileOp::kWrite, nth, ENOSPC, true});
        try {
          run(t);
        } catch (const EngineError& error) {
          EXPECT_EQ(error.os_error(), ENOSPC);
          ++failed;
        }
      }
      CheckWhole(verb, e, verb.name + " with write " + std::to_string(nth) + " of " + std::to_string(writes) + " failing");
      ++runs;
    }
    EXPECT_EQ(failed, runs);
    std::printf("[ full     ] %s: %d runs, %llu writes in a whole run\n", verb.name.c_str(), runs,
                static_cast<unsigned long long>(writes));
  }
}

}  // namespace
}  // namespace dbase
