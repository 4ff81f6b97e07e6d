// The node tree of a compiled expression: ExpBaseObject and its subclasses (group container,
// function call, field variable, operator, and the four literal kinds).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "expr/exp_type.h"
#include "expr/operators.h"
#include "expr/variant.h"

namespace dbase {

class ExpHandler;
class UserDefFunction;
class UserDefFieldVar;

enum class NodeKind : uint8_t {
  Container = 0,
  BoundOperator = 2,
  Operator = 3,  // not yet bound to its operands
  Function = 4,
  FieldVar = 5,
  TextLit = 6,
  NumLit = 7,
  DateLit = 8,
  BoolLit = 9,
};

class ExpBaseObject {
 public:
  ExpBaseObject(NodeKind kind, ExpType type) : kind_(kind), result_type_(type) {}
  ExpBaseObject(const ExpBaseObject&) = delete;
  ExpBaseObject& operator=(const ExpBaseObject&) = delete;
  virtual ~ExpBaseObject() = default;

  // The node's own text.
  virtual std::string Name() const { return {}; }
  // Who supplies a field variable (16 user variables, 17 table fields); -1 for other nodes.
  virtual int OwnerId() const { return -1; }
  // Appends left's Text, own Name and right's Text.
  virtual void Text(std::string& out) const;
  // Appends ";" + Name for every field variable of `owner` in the subtree, in order.
  virtual void NamesFor(int owner, std::string& out) const;
  // Writes the node's value and type. Base: type Unknown, nothing written.
  virtual void Evaluate(Variant& out, ExpType& type);
  // Evaluation for an operator: a value of the numeric family comes back in `number` and a
  // logical in `flag`, without a round trip through `out`; any other value is written to `out`.
  // Returns the type Evaluate would give. Base: Evaluate.
  virtual ExpType EvaluateOperand(Variant& out, double& number, bool& flag);

  NodeKind kind() const { return kind_; }
  ExpType result_type() const { return result_type_; }
  int32_t length() const { return length_; }
  int32_t decimals() const { return decimals_; }
  ExpBaseObject* left() const { return left_.get(); }
  ExpBaseObject* right() const { return right_.get(); }
  // Levels of nodes from this one down to its deepest leaf.
  int height() const { return height_; }

  void SetOperands(std::unique_ptr<ExpBaseObject> left, std::unique_ptr<ExpBaseObject> right);

 protected:
  void set_kind(NodeKind kind) { kind_ = kind; }
  void set_height(int height) { height_ = height; }

  NodeKind kind_;
  ExpType result_type_;
  uint8_t flags_ = 0;
  int32_t length_ = 0;
  int32_t decimals_ = 0;
  std::unique_ptr<ExpBaseObject> left_;
  std::unique_ptr<ExpBaseObject> right_;

 private:
  int height_ = 1;
};

using NodePtr = std::unique_ptr<ExpBaseObject>;

// A parenthesised group; the inner tree (absent for "()") is the right operand.
class ExpContainer : public ExpBaseObject {
 public:
  explicit ExpContainer(NodePtr inner);
  void Text(std::string& out) const override;
  void NamesFor(int owner, std::string& out) const override;
  void Evaluate(Variant& out, ExpType& type) override;
  ExpType EvaluateOperand(Variant& out, double& number, bool& flag) override;
};

// A function call with its argument trees; the function object fetches its own arguments.
class ExpFunction : public ExpBaseObject {
 public:
  ExpFunction(ExpHandler& handler, UserDefFunction& function, std::vector<NodePtr> arguments);
  std::string Name() const override;
  void Text(std::string& out) const override;
  void NamesFor(int owner, std::string& out) const override;
  void Evaluate(Variant& out, ExpType& type) override;
  ExpType EvaluateOperand(Variant& out, double& number, bool& flag) override;

  ExpHandler& handler() const { return *handler_; }
  UserDefFunction& function() const { return *function_; }
  size_t argument_count() const { return arguments_.size(); }
  // Argument n (0-based); nullptr when there is none.
  ExpBaseObject* argument(size_t n) const { return n < arguments_.size() ? arguments_[n].get() : nullptr; }

 private:
  ExpHandler* handler_;
  UserDefFunction* function_;
  std::vector<NodePtr> arguments_;
};

// A use of a field variable (a table field or a system value).
class ExpFieldvar : public ExpBaseObject {
 public:
  explicit ExpFieldvar(UserDefFieldVar& variable);
  std::string Name() const override;
  int OwnerId() const override;
  void Evaluate(Variant& out, ExpType& type) override;
  ExpType EvaluateOperand(Variant& out, double& number, bool& flag) override;

  UserDefFieldVar& variable() const { return *variable_; }

 private:
  UserDefFieldVar* variable_;
};

// The handler's comparison settings, copied into each operator when it is made.
struct OperatorSettings {
  bool case_insensitive = false;
  bool wildcards = true;
  char wild_many = '*';
  char wild_one = '?';
};

class ExpOperator : public ExpBaseObject {
 public:
  ExpOperator(const OperatorInfo& info, const OperatorSettings& settings);
  std::string Name() const override;
  void Evaluate(Variant& out, ExpType& type) override;
  ExpType EvaluateOperand(Variant& out, double& number, bool& flag) override;

  OpCode opcode() const { return info_->code; }
  uint8_t precedence() const { return info_->precedence; }
  bool bound() const { return kind() == NodeKind::BoundOperator; }
  // Takes the operands (left is absent for .NOT.) and marks the operator bound.
  void Bind(NodePtr left, NodePtr right);

 private:
  bool EvaluateBoolean(bool left, bool right) const;
  bool CompareNumbers(double left, double right) const;
  double EvaluateArithmetic(double left, double right) const;
  void EvaluateText(Variant& left_and_out, const Variant& right) const;

  // An operand as the operator reaches it, worked out once when the operator is bound: a
  // literal number, date or logical is its value, a group is the tree inside it, and a function
  // or a field variable is called without the node around it. A .NOT. of a function or field
  // variable, and the comparison of one with a number written in the expression, are worked out
  // in place (`owner` is that operator), so that a filter made of them costs one call per field
  // or function it reads.
  struct Operand {
    enum class Kind : uint8_t { Node, Constant, Function, Variable, Operator, NotOf, CompareOf };
    Kind kind = Kind::Node;
    ExpType type = ExpType::Unknown;  // of a constant
    bool flag = false;
    double number = 0;               // of a constant
    ExpBaseObject* node = nullptr;
    ExpFunction* call = nullptr;     // the function or field variable read (also under NotOf and
    UserDefFunction* function = nullptr;  // CompareOf)
    UserDefFieldVar* variable = nullptr;
    ExpOperator* owner = nullptr;
  };
  // The function or field variable of an operand, as Fetch reads it.
  static ExpType FetchLeaf(const Operand& operand, Variant& out, double& number, bool& flag);
  static Operand Resolve(ExpBaseObject* node);
  static ExpType Fetch(const Operand& operand, Variant& out, double& number, bool& flag);

  // The evaluation once both operands are fetched (the right one first), whatever their types.
  ExpType Combine(Variant& out, double& number, bool& flag, ExpType right_type, double right_number,
                  bool right_flag, ExpType left_type, double left_number, bool left_flag);
  ExpType EvaluateGeneric(Variant& out, double& number, bool& flag);

  // Paths chosen when the operator is bound for the shapes filters are made of: .AND. and .OR.
  // of logicals, .NOT. of a logical, a comparison with a number written in the expression. Each
  // expects its operands' usual types and hands anything else to Combine, so that no operand is
  // evaluated twice and every error stays the one the general rules give.
  using FastPath = ExpType (*)(ExpOperator& self, Variant& out, double& number, bool& flag);
  template <OpCode kOp>
  static ExpType LogicalPath(ExpOperator& self, Variant& out, double& number, bool& flag);
  static ExpType NotPath(ExpOperator& self, Variant& out, double& number, bool& flag);
  static ExpType CompareConstantPath(ExpOperator& self, Variant& out, double& number, bool& flag);
  // A comparison with a text written in the expression: the left text is compared where it lies
  // when its variable can show it in place.
  static ExpType CompareTextPath(ExpOperator& self, Variant& out, double& number, bool& flag);
  // The result of an ordering comparison from the sign of a text comparison.
  bool TextOrder(int comparison) const;
  // The ends of .NOT. and of a comparison with the number on its right, once the operand is read.
  ExpType FinishNot(Variant& out, double& number, bool& flag, ExpType type, double operand_number, bool operand_flag);
  ExpType FinishCompare(Variant& out, double& number, bool& flag, ExpType type, double left_number, bool left_flag);
  void ChooseFastPath();

  FastPath fast_ = nullptr;

  Operand left_operand_;
  Operand right_operand_;
  const OperatorInfo* info_;
  OperatorSettings settings_;
  bool gives_boolean_;
  bool null_result_ = false;  // the last evaluation gave no value (operands of another type)
  Variant right_value_;       // scratch for the right operand, reused across evaluations
};

class ExpTextLit : public ExpBaseObject {
 public:
  explicit ExpTextLit(std::string text);
  std::string Name() const override;
  void Evaluate(Variant& out, ExpType& type) override;
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

class ExpNumLit : public ExpBaseObject {
 public:
  explicit ExpNumLit(std::string_view text);
  std::string Name() const override;
  void Evaluate(Variant& out, ExpType& type) override;
  ExpType EvaluateOperand(Variant& out, double& number, bool& flag) override;
  double value() const { return value_; }

 private:
  double value_ = 0;
};

class ExpDateLit : public ExpBaseObject {
 public:
  // The text between the braces, read as CTOD reads it; a blank text is the empty date.
  explicit ExpDateLit(std::string_view text);
  std::string Name() const override;
  void Evaluate(Variant& out, ExpType& type) override;
  ExpType EvaluateOperand(Variant& out, double& number, bool& flag) override;

 private:
  double value_ = 0;
};

class ExpBlnLit : public ExpBaseObject {
 public:
  explicit ExpBlnLit(bool value);
  std::string Name() const override;
  void Evaluate(Variant& out, ExpType& type) override;
  ExpType EvaluateOperand(Variant& out, double& number, bool& flag) override;

 private:
  bool value_;
};

}  // namespace dbase
