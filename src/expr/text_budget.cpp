// The per-thread count behind TextBudget.
#include "expr/text_budget.h"

#include <limits>

#include "dbf/errors.h"

namespace dbase {

namespace {

struct Counts {
  size_t held = 0;
  size_t limit = std::numeric_limits<size_t>::max();  // no evaluation running
  int depth = 0;
};

thread_local Counts counts;

}  // namespace

void TextBudget::Take(size_t bytes) {
  if (bytes > counts.limit - counts.held) {
    throw ExpressionError::Make(kExpTextTooLong, "the expression", kEvaluationTextBudget);
  }
  counts.held += bytes;
}

void TextBudget::Give(size_t bytes) noexcept { counts.held -= bytes < counts.held ? bytes : counts.held; }

size_t TextBudget::held() noexcept { return counts.held; }

TextBudget::Evaluation::Evaluation() noexcept {
  if (counts.depth++ == 0) {
    const size_t room = std::numeric_limits<size_t>::max() - counts.held;
    counts.limit = counts.held + (kEvaluationTextBudget < room ? kEvaluationTextBudget : room);
  }
}

TextBudget::Evaluation::~Evaluation() {
  if (--counts.depth == 0) counts.limit = std::numeric_limits<size_t>::max();
}

}  // namespace dbase
