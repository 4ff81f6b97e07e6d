// BuildTree: the second compilation step, turning tokens into nodes and binding operators to
// their operands level by level.
#pragma once

#include <vector>

#include "expr/nodes.h"
#include "expr/tokenizer.h"

namespace dbase {

class ExpHandler;

class TreeBuilder {
 public:
  explicit TreeBuilder(ExpHandler& handler) : handler_(handler) {}

  // The root of the tree for `tokens`; nullptr for no tokens. Raises the compiler's
  // ExpressionErrors; nodes made so far are destroyed.
  NodePtr Build(std::vector<Token>& tokens);

 private:
  NodePtr MakeNode(Token& token);
  NodePtr MakeFunction(const Token& token);
  NodePtr MakeVariable(const Token& token);
  NodePtr MakeOperand(NodePtr node);
  static void CheckHeight(const ExpBaseObject& node);

  ExpHandler& handler_;
};

}  // namespace dbase
