// The memory of one evaluation: long intermediate texts are let go as soon as they are used, and
// an expression that would hold more than the evaluation's budget at once stops with the
// engine's message. Memory is measured by counting this program's allocations (operator new is
// replaced below for the whole test program; counting costs little).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "dbf/errors.h"
#include "expr/exp_handler.h"
#include "expr/text_budget.h"

namespace {

// Bytes allocated through operator new now, and the most at any time since the last reset.
std::atomic<size_t> allocated{0};
std::atomic<size_t> peak{0};

void* Counted(size_t n) {
  // The size goes in front of the block, so that delete knows it.
  auto* block = static_cast<size_t*>(std::malloc(n + sizeof(std::max_align_t)));
  if (block == nullptr) throw std::bad_alloc();
  *block = n;
  const size_t now = allocated += n;
  size_t seen = peak.load();
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
  return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}

void Uncounted(void* p) noexcept {
  if (p == nullptr) return;
  auto* block = reinterpret_cast<size_t*>(static_cast<char*>(p) - sizeof(std::max_align_t));
  allocated -= *block;
  std::free(block);
}

}  // namespace

void* operator new(size_t n) { return Counted(n); }
void* operator new[](size_t n) { return Counted(n); }
void operator delete(void* p) noexcept { Uncounted(p); }
void operator delete[](void* p) noexcept { Uncounted(p); }
void operator delete(void* p, size_t) noexcept { Uncounted(p); }
void operator delete[](void* p, size_t) noexcept { Uncounted(p); }

namespace dbase {
namespace {

constexpr size_t kMiB = size_t{1} << 20;

// "LEN(SPACE(16000000)) + ..." with `terms` terms: each term builds a text at the cap.
std::string SumOfLongTexts(int terms) {
  std::string text;
  for (int i = 0; i < terms; ++i) text += i == 0 ? "LEN(SPACE(16000000))" : " + LEN(SPACE(16000000))";
  return text;
}

// Evaluates `text` and returns the most memory in use during the evaluation above what was in
// use before it.
size_t PeakGrowth(ExpHandler& handler, Variant& out) {
  const size_t before = allocated.load();
  peak = before;
  handler.EvaluateVariant(out);
  return peak.load() - before;
}

TEST(EvaluationMemoryTest, LongIntermediateTextsAreLetGoAsSoonAsTheyAreUsed) {
  ExpHandler handler(nullptr, false, SumOfLongTexts(40));
  Variant out;
  const size_t growth = PeakGrowth(handler, out);
  EXPECT_EQ(out.number(), 40.0 * 16000000);
  // One text at the cap and the one being built beside it, not forty.
  EXPECT_LT(growth, 3 * 16 * kMiB) << growth / kMiB << " MiB";
  // Nothing long is kept between evaluations either.
  EXPECT_LT(TextBudget::held(), kMiB);
}

// IIF(x = SPACE(n), SPACE(n), "") nested `depth` times: each level holds its right-hand text
// while the level inside it is evaluated, so `depth` + 1 texts of n bytes live at once.
std::string NestedComparisons(int depth) {
  std::string text = "SPACE(16000000)";
  for (int i = 0; i < depth; ++i) text = "IIF(" + text + " = SPACE(16000000), SPACE(16000000), '')";
  return text;
}

TEST(EvaluationMemoryTest, AnEvaluationHoldingMoreThanItsBudgetStopsWithTheEnginesMessage) {
  {
    // Four texts of 16,000,000 bytes at once fit the budget of four times the cap.
    ExpHandler handler(nullptr, false, NestedComparisons(3));
    Variant out;
    const size_t growth = PeakGrowth(handler, out);
    EXPECT_EQ(out.text().size(), 16000000u);
    EXPECT_LT(growth, 5 * 16 * kMiB) << growth / kMiB << " MiB";
  }
  ExpHandler handler(nullptr, false, NestedComparisons(8));
  Variant out;
  try {
    const size_t growth = PeakGrowth(handler, out);
    FAIL() << "no error; " << growth / kMiB << " MiB";
  } catch (const ExpressionError& e) {
    EXPECT_EQ(e.number(), kExpTextTooLong);
    EXPECT_EQ(std::string(e.what()), "Result of the expression would exceed 67108864 characters");
  }
  EXPECT_LT(peak.load() - allocated.load(), 6 * 16 * kMiB);
  // The next evaluation starts with a fresh budget.
  ExpHandler small(nullptr, false, "LEN(SPACE(10))");
  small.EvaluateVariant(out);
  EXPECT_EQ(out.number(), 10);
}

}  // namespace
}  // namespace dbase
