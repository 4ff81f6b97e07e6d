// The failure sweep's loop over kinds of calls and their failure points.
#include "support/failure_sweep.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <exception>

#include "dbf/errors.h"

namespace testsupport {

using dbase::platform::FileOp;

const std::vector<FailureKind>& FailureKinds() {
  static const std::vector<FailureKind> kinds = {
      {"write-full", FileOp::kWrite, ENOSPC, true}, {"write", FileOp::kWrite, EIO, false},
      {"read", FileOp::kRead, EIO, false},          {"fsync", FileOp::kSync, EIO, false},
      {"truncate", FileOp::kTruncate, EIO, false},  {"rename", FileOp::kRename, EIO, false},
  };
  return kinds;
}

std::string FailurePoints::Describe() const {
  std::string text = std::to_string(total) + " (";
  bool first = true;
  for (const FailureKind& kind : FailureKinds()) {
    auto found = by_kind.find(kind.name);
    text += (first ? "" : ", ") + kind.name + " " + std::to_string(found == by_kind.end() ? 0 : found->second);
    first = false;
  }
  return text + ")";
}

FailurePoints SweepFailures(const std::function<void()>& prepare, const std::function<void()>& run,
                            const std::function<void(const SweepRun&)>& check, uint64_t limit) {
  FailurePoints points;
  for (const FailureKind& kind : FailureKinds()) {
    uint64_t fired_runs = 0;
    for (uint64_t nth = 1; nth <= limit; ++nth) {
      SCOPED_TRACE(kind.name + " call " + std::to_string(nth) + " fails");
      prepare();
      SweepRun outcome;
      outcome.kind = &kind;
      outcome.nth = nth;
      {
        dbase::platform::ScopedFileFaultForTesting fault({kind.op, nth, kind.error, kind.sticky});
        try {
          run();
        } catch (const dbase::EngineError& error) {
          outcome.raised = true;
          outcome.message = error.what();
          outcome.os_error = error.os_error();
        } catch (const std::exception& error) {
          outcome.raised = true;
          outcome.message = error.what();
        }
        outcome.fired = dbase::platform::FileFaultFiredForTesting();
      }
      check(outcome);
      if (!outcome.fired) break;  // the operation needs fewer calls of this kind than nth
      ++fired_runs;
      EXPECT_LT(nth, limit) << "the operation never completes";
    }
    points.by_kind[kind.name] = fired_runs;
    points.total += fired_runs;
  }
  return points;
}

}  // namespace testsupport
