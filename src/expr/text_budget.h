// The memory of one expression evaluation: every text an expression value holds is allocated
// through a counting allocator, and while an evaluation runs the texts it adds may not take more
// than kEvaluationTextBudget bytes ("Result of the expression would exceed %d characters"
// past it). Together with values that let go of large texts as soon as they are used, this keeps
// an evaluation within a small multiple of the longest text a function or operator may build,
// however many such texts the expression makes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "expr/limits.h"

namespace dbase {

inline constexpr size_t kEvaluationTextBudget = 4 * kMaxTextLength;

// Per-thread count of the bytes held by expression texts.
class TextBudget {
 public:
  // Counts `bytes` more; past the budget of a running evaluation raises the engine's message
  // and counts nothing.
  static void Take(size_t bytes);
  static void Give(size_t bytes) noexcept;
  static size_t held() noexcept;

  // Marks an evaluation: the outermost one sets the budget from what is held when it starts.
  class Evaluation {
   public:
    Evaluation() noexcept;
    ~Evaluation();
    Evaluation(const Evaluation&) = delete;
    Evaluation& operator=(const Evaluation&) = delete;
  };
};

template <class T>
struct CountingAllocator {
  using value_type = T;
  CountingAllocator() noexcept = default;
  template <class U>
  CountingAllocator(const CountingAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    TextBudget::Take(n * sizeof(T));
    try {
      return std::allocator<T>().allocate(n);
    } catch (...) {
      TextBudget::Give(n * sizeof(T));
      throw;
    }
  }
  void deallocate(T* p, size_t n) noexcept {
    std::allocator<T>().deallocate(p, n);
    TextBudget::Give(n * sizeof(T));
  }
  template <class U>
  bool operator==(const CountingAllocator<U>&) const noexcept {
    return true;
  }
};

// The text of an expression value.
using ExprText = std::basic_string<char, std::char_traits<char>, CountingAllocator<char>>;

}  // namespace dbase
