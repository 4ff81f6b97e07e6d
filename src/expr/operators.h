// The operator table of the expression language: opcodes, written forms, display names and
// precedences (a smaller number binds tighter).
#pragma once

#include <cstdint>
#include <string_view>

namespace dbase {

enum class OpCode : uint8_t {
  Equal = 0x81,
  NotEqual = 0x82,
  Greater = 0x83,
  Less = 0x84,
  GreaterEqual = 0x85,
  LessEqual = 0x86,
  InString = 0x87,
  ExactlyEqual = 0x88,
  Plus = 0x89,
  Minus = 0x8A,
  Times = 0x8B,
  Divide = 0x8C,
  Power = 0x8D,
  And = 0x90,
  Or = 0x91,
  Not = 0x92,
};

struct OperatorInfo {
  OpCode code;
  std::string_view display;  // what Name returns and messages show
  uint8_t precedence;
};

inline constexpr uint8_t kLowestPrecedence = 2;
inline constexpr uint8_t kHighestPrecedence = 8;
inline constexpr uint8_t kNotPrecedence = 6;

const OperatorInfo& InfoFor(OpCode code);

// A run of symbol characters ("=", "<>", "**", ...) as an operator; nullptr when it is none.
const OperatorInfo* FindSymbolOperator(std::string_view written);
// A word (any case) among AND, OR, EQ, NE, GT, LT, GE, LE; nullptr otherwise. NOT is a prefix
// and is recognised separately.
const OperatorInfo* FindWordOperator(std::string_view word);

// "=", "#", ">", "<", ">=", "<=" (the comparisons that give a Boolean through the text or
// number comparison).
bool IsOrderingComparison(OpCode code);
// The comparisons above plus "$" and "==", and .AND., .OR., .NOT.: their result type is Boolean.
bool GivesBoolean(OpCode code);

}  // namespace dbase
