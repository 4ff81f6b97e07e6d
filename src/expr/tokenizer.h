// Tokenize: the first compilation step, turning expression text into a token stream by
// alternating between expecting an operand and expecting an operator.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "expr/operators.h"

namespace dbase {

// Token kinds besides the operators, whose kind is their opcode (0x81 to 0x92).
enum class TokenKind : uint8_t {
  Function = 0x98,  // text: name, args: the text between the parentheses
  FieldVar = 0x99,  // text: the name as written ("->" given as ".")
  Group = 0x9A,     // text: the text inside the parentheses
  TextLit = 0x9B,
  DateLit = 0x9C,
  Number = 0x9D,    // text: the literal as written
  BoolLit = 0x9E,   // text: ".T." or ".F."
};

struct Token {
  uint8_t kind = 0;
  std::string text;
  std::string args;

  bool IsOperator() const { return kind >= 0x81 && kind <= 0x92; }
  OpCode opcode() const { return static_cast<OpCode>(kind); }
};

// Whether an upper-case name is a known field variable.
using VariableLookup = std::function<bool(std::string_view upper_name)>;

// Tokens of `text` (blanks at both ends ignored; none for a blank text). Raises the compiler's
// ExpressionErrors; a text no matcher accepts gives "Syntax Error in expression" naming
// `whole_expression`.
std::vector<Token> Tokenize(std::string_view text, const VariableLookup& is_variable,
                            std::string_view whole_expression);

}  // namespace dbase
