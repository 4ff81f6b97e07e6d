// Node creation from tokens and the precedence binding.
#include "expr/tree_builder.h"

#include "dbf/errors.h"
#include "expr/exp_handler.h"
#include "expr/limits.h"
#include "expr/registry.h"
#include "expr/scan.h"
#include "expr/text_compare.h"
#include "expr/user_link.h"

namespace dbase {

namespace {

ExpOperator* AsUnboundOperator(ExpBaseObject* node) {
  if (node == nullptr || node->kind() != NodeKind::Operator) return nullptr;
  return static_cast<ExpOperator*>(node);
}

bool IsOperand(const NodePtr& node) { return node && node->kind() != NodeKind::Operator; }

}  // namespace

void TreeBuilder::CheckHeight(const ExpBaseObject& node) {
  if (node.height() > kMaxTreeHeight) throw ExpressionError::Make(kExpCannotEvaluate);
}

NodePtr TreeBuilder::Build(std::vector<Token>& tokens) {
  if (tokens.empty()) return nullptr;
  // The operators of one level chain into one path of the tree, so a level with too many of
  // them is refused before any node is made.
  int per_level[kHighestPrecedence + 1] = {};
  for (const Token& token : tokens) {
    if (token.IsOperator() && ++per_level[InfoFor(token.opcode()).precedence] >= kMaxTreeHeight) {
      throw ExpressionError::Make(kExpCannotEvaluate);
    }
  }
  std::vector<NodePtr> list;
  list.reserve(tokens.size());
  for (Token& token : tokens) list.push_back(MakeNode(token));

  // Level by level, each operator takes the node after it and (but .NOT.) the node before it;
  // one pass left to right binds the operators of a level from the left.
  for (int level = kLowestPrecedence; level <= kHighestPrecedence && list.size() > 1; ++level) {
    std::vector<NodePtr> next;
    next.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      ExpOperator* op = AsUnboundOperator(list[i].get());
      if (op == nullptr || op->precedence() != level) {
        next.push_back(std::move(list[i]));
        continue;
      }
      NodePtr op_node = std::move(list[i]);
      NodePtr right, left;
      if (i + 1 < list.size() && IsOperand(list[i + 1])) right = std::move(list[++i]);
      if (level != kNotPrecedence && !next.empty() && IsOperand(next.back())) {
        left = std::move(next.back());
        next.pop_back();
      }
      op->Bind(std::move(left), std::move(right));
      CheckHeight(*op);
      next.push_back(std::move(op_node));
    }
    list = std::move(next);
  }
  if (list.size() != 1) throw ExpressionError::Make(kExpCannotEvaluate);
  return std::move(list.front());
}

NodePtr TreeBuilder::MakeOperand(NodePtr node) {
  handler_.NoteOperand();
  return node;
}

NodePtr TreeBuilder::MakeNode(Token& token) {
  if (token.IsOperator()) return std::make_unique<ExpOperator>(InfoFor(token.opcode()), handler_.settings_);
  switch (static_cast<TokenKind>(token.kind)) {
    case TokenKind::Function:
      return MakeFunction(token);
    case TokenKind::FieldVar:
      return MakeVariable(token);
    case TokenKind::Group: {
      auto group = std::make_unique<ExpContainer>(handler_.CompileNested(token.text));
      CheckHeight(*group);
      return group;
    }
    case TokenKind::TextLit:
      return MakeOperand(std::make_unique<ExpTextLit>(std::move(token.text)));
    case TokenKind::DateLit:
      return MakeOperand(std::make_unique<ExpDateLit>(token.text));
    case TokenKind::Number: {
      auto number = std::make_unique<ExpNumLit>(token.text);
      handler_.NoteLength(number->length());
      handler_.NoteDecimals(number->decimals());
      return MakeOperand(std::move(number));
    }
    case TokenKind::BoolLit:
      return MakeOperand(std::make_unique<ExpBlnLit>(token.text == ".T."));
  }
  throw ExpressionError::Make(kExpCannotEvaluate);  // no other token kinds are made
}

NodePtr TreeBuilder::MakeFunction(const Token& token) {
  std::string name = UpperName(token.text);
  UserDefFunction* function = GlobalFunctions().Find(name);
  ExpUserLink* link = handler_.link();
  if (function == nullptr && link != nullptr) function = link->FindFunction(name);
  if (function == nullptr && link != nullptr) function = link->MissingFunction(name);
  if (function == nullptr) throw ExpressionError::Make(kExpNoFunction, name);

  std::vector<NodePtr> arguments;
  for (std::string_view piece : SplitArguments(token.args)) {
    if (TrimTrailing(TrimLeading(piece)).empty()) continue;  // F(a,,b) has two arguments
    arguments.push_back(handler_.CompileNested(piece));
  }
  auto node = std::make_unique<ExpFunction>(handler_, *function, std::move(arguments));
  CheckHeight(*node);
  return MakeOperand(std::move(node));
}

NodePtr TreeBuilder::MakeVariable(const Token& token) {
  std::string name = UpperName(token.text);
  ExpUserLink* link = handler_.link();
  if (link == nullptr) throw ExpressionError::Make(kExpUnknownVar, name);
  UserDefFieldVar* variable = GlobalFieldVars().Find(name);
  if (variable == nullptr) variable = link->FindFieldVar(name);
  if (variable == nullptr) throw ExpressionError::Make(kExpNoFunction, name);
  auto node = std::make_unique<ExpFieldvar>(*variable);
  handler_.NoteLength(node->length());
  return MakeOperand(std::move(node));
}

}  // namespace dbase
