// ExpHandler: compiles an expression text once into a node tree and evaluates it as often as
// needed, normally once per record against the table's current record.
#pragma once

#include <string>
#include <string_view>

#include "expr/exp_type.h"
#include "expr/nodes.h"
#include "expr/variant.h"

namespace dbase {

class ExpUserLink;
class Value;

class ExpHandler {
 public:
  // `link` (not owned, may be null) supplies a table's functions and fields; SQL style makes
  // the wildcards "%" and "_" instead of "*" and "?". A non-empty text is compiled at once.
  explicit ExpHandler(ExpUserLink* link = nullptr, bool sql_style = false, std::string_view text = {});
  ExpHandler(const ExpHandler&) = delete;
  ExpHandler& operator=(const ExpHandler&) = delete;
  ~ExpHandler();

  // Replaces the tree by the compilation of `text` (no tree for a blank text). On an
  // ExpressionError the handler is left without a tree.
  void SetExpression(std::string_view text);

  // Evaluates the tree into `out`; ResultType becomes the root's type (Unknown without a tree,
  // `out` then untouched).
  void EvaluateVariant(Variant& out);
  // Evaluates into an engine value: Text as text, Number/DateTime as a number, Date as a Julian
  // day (0 for the empty date), Boolean as a logical. Other types set ResultType to Unknown and
  // leave the value alone, as does a null result. Without a tree: empty text, Unknown.
  void EvaluateValue(Value& value);
  ExpType ResultType() const { return result_type_; }

  // The tree rebuilt as text (display names of operators); empty without a tree.
  std::string ExpressionText() const;
  // ";NAME" for every field variable of `owner` (17: table fields) the expression uses.
  std::string FieldNamesFor(int owner) const;

  bool has_tree() const { return root_ != nullptr; }
  const ExpBaseObject* root() const { return root_.get(); }
  ExpUserLink* link() const { return link_; }

  // Largest length among field variables and numeric literals; largest decimals of numeric
  // literals; number of operand nodes made. Reset by SetExpression.
  int max_length() const { return max_length_; }
  int max_decimals() const { return max_decimals_; }
  int operand_count() const { return operand_count_; }

  // Comparison settings, copied into operators when they are made: set them before compiling.
  bool case_insensitive() const { return settings_.case_insensitive; }
  void set_case_insensitive(bool on) { settings_.case_insensitive = on; }
  bool wildcards() const { return settings_.wildcards; }
  void set_wildcards(bool on) { settings_.wildcards = on; }
  char wild_many() const { return settings_.wild_many; }
  char wild_one() const { return settings_.wild_one; }

 private:
  friend class TreeBuilder;

  NodePtr CompileNested(std::string_view text);
  bool IsVariable(std::string_view upper_name) const;
  void NoteOperand() { ++operand_count_; }
  void NoteLength(int length) {
    if (length > max_length_) max_length_ = length;
  }
  void NoteDecimals(int decimals) {
    if (decimals > max_decimals_) max_decimals_ = decimals;
  }

  ExpUserLink* link_;
  NodePtr root_;
  OperatorSettings settings_;
  int max_length_ = 0;
  int max_decimals_ = 0;
  int operand_count_ = 0;
  ExpType result_type_ = ExpType::Unknown;
  int depth_ = 0;            // nesting of the compilation under way
  std::string whole_text_;   // the text being compiled, for syntax error messages
  Variant scratch_;          // EvaluateValue's result, reused per record
};

}  // namespace dbase
