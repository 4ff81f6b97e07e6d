// The tokenizer's operand and operator matchers.
#include "expr/tokenizer.h"

#include "dbf/errors.h"
#include "expr/scan.h"
#include "expr/text_compare.h"
#include "expr/user_def.h"

namespace dbase {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) { return IsLetter(c) || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

bool IsNot(std::string_view word) {
  return word.size() == 3 && (word[0] == 'N' || word[0] == 'n') && (word[1] == 'O' || word[1] == 'o') &&
         (word[2] == 'T' || word[2] == 't');
}

class Tokenizer {
 public:
  Tokenizer(std::string_view text, const VariableLookup& is_variable, std::string_view whole)
      : text_(text), is_variable_(is_variable), whole_(whole) {}

  std::vector<Token> Run() {
    bool operand_expected = true;
    while (true) {
      while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
      if (pos_ >= text_.size()) break;
      if (operand_expected) {
        size_t after = 0;
        if (MatchNot(after)) {
          if (tokens_.empty()) {
            Emit(static_cast<uint8_t>(OpCode::Not));
            pos_ = after;
            continue;
          }
          // A .NOT. after other tokens takes everything to its right: a .AND. .NOT. b .OR. c
          // reads as a .AND. (.NOT. b .OR. c).
          Emit(static_cast<uint8_t>(TokenKind::Group), text_.substr(pos_));
          pos_ = text_.size();
        } else {
          Operand();
        }
        operand_expected = false;
      } else {
        if (!SymbolOperator() && !WordOperator()) throw ExpressionError::Make(kExpSyntax, whole_);
        operand_expected = true;
      }
    }
    return std::move(tokens_);
  }

 private:
  void Emit(uint8_t kind, std::string_view text = {}, std::string_view args = {}) {
    Token t;
    t.kind = kind;
    t.text.assign(text.data(), text.size());
    t.args.assign(args.data(), args.size());
    tokens_.push_back(std::move(t));
  }

  // "!" (not "!="), or NOT bare or between periods.
  bool MatchNot(size_t& after) const {
    char c = text_[pos_];
    if (c == '!') {
      if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '=') return false;
      after = pos_ + 1;
      return true;
    }
    size_t start = c == '.' ? pos_ + 1 : pos_;
    size_t end = start;
    while (end < text_.size() && IsLetter(text_[end])) ++end;
    if (!IsNot(text_.substr(start, end - start))) return false;
    if (c == '.') {
      if (end >= text_.size() || text_[end] != '.') return false;
      after = end + 1;
      return true;
    }
    if (end < text_.size() && IsNameChar(text_[end])) return false;  // NOTE, NOT_1: names
    after = end;
    return true;
  }

  void Operand() {
    char c = text_[pos_];
    if (c == '(') {
      size_t close = FindBalancingParen(text_, pos_);
      if (close == std::string_view::npos) throw ExpressionError::Make(kExpMissingParen);
      Emit(static_cast<uint8_t>(TokenKind::Group), text_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
    } else if (c == '.') {
      BooleanLiteral();
    } else if (IsNameStart(c)) {
      Name();
    } else if (char closer = LiteralCloser(c); closer != 0) {
      size_t end = text_.find(closer, pos_ + 1);
      if (end == std::string_view::npos) throw ExpressionError::Make(kExpMissingClose, std::string(1, c));
      auto kind = c == '{' ? TokenKind::DateLit : TokenKind::TextLit;
      Emit(static_cast<uint8_t>(kind), text_.substr(pos_ + 1, end - pos_ - 1));
      pos_ = end + 1;
    } else if (c == '+' || c == '-' || IsDigit(c)) {
      size_t end = pos_ + 1;
      while (end < text_.size() && (IsDigit(text_[end]) || text_[end] == '.')) ++end;
      Emit(static_cast<uint8_t>(TokenKind::Number), text_.substr(pos_, end - pos_));
      pos_ = end;
    } else {
      throw ExpressionError::Make(kExpSyntax, whole_);
    }
  }

  void BooleanLiteral() {
    size_t end = text_.find('.', pos_ + 1);
    if (end == std::string_view::npos) throw ExpressionError::Make(kExpMissingPeriod);
    std::string word = UpperName(text_.substr(pos_, end - pos_ + 1));
    if (word != ".T." && word != ".F.") throw ExpressionError::Make(kExpExpectingBool);
    Emit(static_cast<uint8_t>(TokenKind::BoolLit), word);
    pos_ = end + 1;
  }

  size_t NameEnd(size_t from) const {
    while (from < text_.size() && IsNameChar(text_[from])) ++from;
    return from;
  }

  void Name() {
    size_t end = NameEnd(pos_ + 1);
    std::string_view name = text_.substr(pos_, end - pos_);
    if (end < text_.size() && text_[end] == '(') {
      size_t close = FindBalancingParen(text_, end);
      if (close == std::string_view::npos) throw ExpressionError::Make(kExpMissingParen);
      Emit(static_cast<uint8_t>(TokenKind::Function), name, text_.substr(end + 1, close - end - 1));
      pos_ = close + 1;
      return;
    }
    // ALIAS.FIELD and ALIAS->FIELD: extend the name while it is not known and a dot follows.
    std::string full(name);
    while (!is_variable_(UpperName(full))) {
      if (text_.substr(end, 2) == "->") {
        end += 2;
      } else if (end < text_.size() && text_[end] == '.') {
        end += 1;
      } else {
        throw ExpressionError::Make(kExpNoFunction, UpperName(name));
      }
      size_t next = NameEnd(end);
      full += '.';
      full.append(text_.substr(end, next - end));
      end = next;
    }
    Emit(static_cast<uint8_t>(TokenKind::FieldVar), full);
    pos_ = end;
  }

  bool SymbolOperator() {
    static constexpr std::string_view kFirst = "!#$*+-/<=>^";
    static constexpr std::string_view kFollow = "*<=>";
    if (kFirst.find(text_[pos_]) == std::string_view::npos) return false;
    size_t end = pos_ + 1;
    while (end < text_.size() && kFollow.find(text_[end]) != std::string_view::npos) ++end;
    const OperatorInfo* op = FindSymbolOperator(text_.substr(pos_, end - pos_));
    if (op == nullptr || end >= text_.size()) return false;
    Emit(static_cast<uint8_t>(op->code));
    pos_ = end;
    return true;
  }

  bool WordOperator() {
    bool dotted = text_[pos_] == '.';
    size_t start = dotted ? pos_ + 1 : pos_;
    size_t end = start;
    while (end < text_.size() && IsLetter(text_[end])) ++end;
    const OperatorInfo* op = FindWordOperator(text_.substr(start, end - start));
    if (op == nullptr) return false;
    if (dotted) {
      if (end >= text_.size() || text_[end] != '.') return false;
      ++end;
    }
    if (end >= text_.size()) return false;
    Emit(static_cast<uint8_t>(op->code));
    pos_ = end;
    return true;
  }

  std::string_view text_;
  const VariableLookup& is_variable_;
  std::string_view whole_;
  size_t pos_ = 0;
  std::vector<Token> tokens_;
};

}  // namespace

std::vector<Token> Tokenize(std::string_view text, const VariableLookup& is_variable,
                            std::string_view whole_expression) {
  text = TrimTrailing(TrimLeading(text));
  if (text.empty()) return {};
  return Tokenizer(text, is_variable, whole_expression).Run();
}

}  // namespace dbase
