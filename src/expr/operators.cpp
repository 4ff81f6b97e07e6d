// Operator table and lookups.
#include "expr/operators.h"

#include "platform/ascii_case.h"

namespace dbase {

namespace {

constexpr OperatorInfo kOperators[] = {
    {OpCode::Equal, "=", 5},         {OpCode::NotEqual, "#", 5},
    {OpCode::Greater, ">", 5},       {OpCode::Less, "<", 5},
    {OpCode::GreaterEqual, ">=", 5}, {OpCode::LessEqual, "<=", 5},
    {OpCode::InString, "in string", 5}, {OpCode::ExactlyEqual, "exactly equal", 5},
    {OpCode::Plus, "+", 4},          {OpCode::Minus, "-", 4},
    {OpCode::Times, "*", 3},         {OpCode::Divide, "/", 3},
    {OpCode::Power, "^", 2},         {OpCode::And, ".AND.", 7},
    {OpCode::Or, ".OR.", 8},         {OpCode::Not, ".NOT.", 6},
};

struct Written {
  std::string_view text;
  OpCode code;
};

constexpr Written kSymbols[] = {
    {"=", OpCode::Equal},         {"<>", OpCode::NotEqual},     {"!=", OpCode::NotEqual},
    {"#", OpCode::NotEqual},      {">", OpCode::Greater},       {"<", OpCode::Less},
    {">=", OpCode::GreaterEqual}, {"=>", OpCode::GreaterEqual}, {"<=", OpCode::LessEqual},
    {"=<", OpCode::LessEqual},    {"$", OpCode::InString},      {"==", OpCode::ExactlyEqual},
    {"+", OpCode::Plus},          {"-", OpCode::Minus},         {"*", OpCode::Times},
    {"/", OpCode::Divide},        {"^", OpCode::Power},         {"**", OpCode::Power},
};

constexpr Written kWords[] = {
    {"AND", OpCode::And},         {"OR", OpCode::Or},       {"EQ", OpCode::Equal},
    {"NE", OpCode::NotEqual},     {"GT", OpCode::Greater},  {"LT", OpCode::Less},
    {"GE", OpCode::GreaterEqual}, {"LE", OpCode::LessEqual},
};

bool SameWord(std::string_view upper, std::string_view any_case) {
  if (upper.size() != any_case.size()) return false;
  for (size_t i = 0; i < upper.size(); ++i) {
    if (platform::UpperAscii(any_case[i]) != upper[i]) return false;
  }
  return true;
}

}  // namespace

const OperatorInfo& InfoFor(OpCode code) {
  for (const OperatorInfo& info : kOperators) {
    if (info.code == code) return info;
  }
  return kOperators[0];  // unreachable: every opcode is in the table
}

const OperatorInfo* FindSymbolOperator(std::string_view written) {
  for (const Written& w : kSymbols) {
    if (w.text == written) return &InfoFor(w.code);
  }
  return nullptr;
}

const OperatorInfo* FindWordOperator(std::string_view word) {
  for (const Written& w : kWords) {
    if (SameWord(w.text, word)) return &InfoFor(w.code);
  }
  return nullptr;
}

bool IsOrderingComparison(OpCode code) {
  return code >= OpCode::Equal && code <= OpCode::LessEqual;
}

bool GivesBoolean(OpCode code) {
  return (code >= OpCode::Equal && code <= OpCode::ExactlyEqual) || code == OpCode::And ||
         code == OpCode::Or || code == OpCode::Not;
}

}  // namespace dbase
