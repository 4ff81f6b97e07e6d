// Text functions: ALLTRIM, ASC, AT, ATC, CHR, LEFT, LEN, LOWER, LTRIM, PROPER, RIGHT, RTRIM,
// SOUNDEX, SPACE, STRTRAN, SUBSTR, TRIM, UPPER.
#include <cmath>
#include <string>

#include "dbf/errors.h"
#include "expr/builtin_library.h"
#include "expr/fn_support.h"
#include "expr/limits.h"
#include "expr/text_compare.h"
#include "platform/ascii_case.h"
#include "platform/locale.h"

namespace dbase {

namespace {

class UDFAllTrim : public BuiltinFunction {
 public:
  UDFAllTrim() : BuiltinFunction("ALLTRIM") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    std::string_view t = TrimTrailing(TrimLeading(TextArg(node, 0, out)));
    ReturnText(out, type, std::string(t));
  }
};

class UDFLTrim : public BuiltinFunction {
 public:
  UDFLTrim() : BuiltinFunction("LTRIM") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    std::string_view t = TrimLeading(TextArg(node, 0, out));
    ReturnText(out, type, std::string(t));
  }
};

class UDFTrim : public BuiltinFunction {
 public:
  UDFTrim() : BuiltinFunction("TRIM") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    size_t keep = TrimTrailing(TextArg(node, 0, out)).size();
    out.MutableText().resize(keep);
    type = ExpType::Text;
  }

 protected:
  explicit UDFTrim(std::string_view name) : BuiltinFunction(name) {}
};

class UDFRTrim : public UDFTrim {
 public:
  UDFRTrim() : UDFTrim("RTRIM") {}
};

class UDFAsc : public BuiltinFunction {
 public:
  UDFAsc() : BuiltinFunction("ASC") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    std::string_view t = TextArg(node, 0, out);
    ReturnNumber(out, type, t.empty() ? 0 : static_cast<unsigned char>(t.front()));
  }
};

// Position (1-based) of the n-th occurrence of the needle, overlapping occurrences counted; the
// last one found when there are fewer; 0 when there is none.
class UDFAt : public BuiltinFunction {
 public:
  UDFAt() : BuiltinFunction("AT") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    Variant needle;
    TextArg(node, 0, needle);
    TextArg(node, 1, out);
    double occurrence = 1;
    Variant third;
    OptionalNumberArg(node, 2, third, occurrence);
    std::string needle_text(needle.text()), haystack(out.text());
    if (upper_) {
      for (char& c : needle_text) c = platform::UpperAscii(c);
      for (char& c : haystack) c = platform::UpperAscii(c);
    }
    ReturnNumber(out, type, static_cast<double>(Find(needle_text, haystack, WholeNumber64(occurrence))));
  }

 protected:
  UDFAt(std::string_view name, bool upper) : BuiltinFunction(name), upper_(upper) {}

 private:
  static size_t Find(std::string_view needle, std::string_view haystack, int64_t occurrence) {
    if (needle.empty()) return 0;
    size_t found = 0, start = 0;
    for (int64_t k = 0; k < occurrence; ++k) {
      size_t at = haystack.find(needle, start);
      if (at == std::string_view::npos) break;
      found = at + 1;
      start = at + 1;
    }
    return found;
  }

  bool upper_ = false;
};

// AT after upper-casing a to z in both texts.
class UDFAtc : public UDFAt {
 public:
  UDFAtc() : UDFAt("ATC", true) {}
};

class UDFChr : public BuiltinFunction {
 public:
  UDFChr() : BuiltinFunction("CHR") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    double code = std::trunc(NumberArg(node, 0, out));
    if (!(code >= 0 && code <= 255)) throw ExpressionError::Make(kExpValueInvalid, "Byte");
    ReturnText(out, type, std::string(1, static_cast<char>(static_cast<unsigned char>(code))));
  }
};

class UDFLeft : public BuiltinFunction {
 public:
  UDFLeft() : BuiltinFunction("LEFT") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    Variant count;
    double n = NumberArg(node, 1, count);
    TextArg(node, 0, out);
    ExprText& text = out.MutableText();
    if (n <= 0.01) {
      text.clear();
    } else {
      int64_t k = WholeNumber64(n);
      if (static_cast<uint64_t>(k) < text.size()) text.resize(static_cast<size_t>(k));
    }
    type = ExpType::Text;
  }
};

class UDFRight : public BuiltinFunction {
 public:
  UDFRight() : BuiltinFunction("RIGHT") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    Variant count;
    double n = NumberArg(node, 1, count);
    std::string_view text = TextArg(node, 0, out);
    if (n <= 0) {
      ReturnText(out, type, "");
      return;
    }
    int64_t k = WholeNumber64(n);
    if (static_cast<uint64_t>(k) < text.size()) out.SetText(std::string(text.substr(text.size() - static_cast<size_t>(k))));
    type = ExpType::Text;
  }
};

class UDFLen : public BuiltinFunction {
 public:
  UDFLen() : BuiltinFunction("LEN") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    ReturnNumber(out, type, static_cast<double>(TextArg(node, 0, out).size()));
  }
};

class UDFCase : public BuiltinFunction {
 public:
  UDFCase(std::string_view name, char (*map)(char)) : BuiltinFunction(name), map_(map) {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    TextArg(node, 0, out);
    for (char& c : out.MutableText()) c = map_(c);
    type = ExpType::Text;
  }

 private:
  char (*map_)(char);
};

// Upper case after a blank, most punctuation, "@" and character 127; lower case elsewhere.
class UDFProper : public BuiltinFunction {
 public:
  UDFProper() : BuiltinFunction("PROPER") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    TextArg(node, 0, out);
    bool start = true;
    for (char& c : out.MutableText()) {
      c = start ? platform::UpperChar(c) : platform::LowerChar(c);
      start = StartsWord(c);
    }
    type = ExpType::Text;
  }

 private:
  static bool StartsWord(char c) {
    static constexpr std::string_view kBefore = " !\"#$%&()*+,-./:;<=>?[\\]^_{|}~@\x7f";
    return kBefore.find(c) != std::string_view::npos;
  }
};

class UDFSoundex : public BuiltinFunction {
 public:
  UDFSoundex() : BuiltinFunction("SOUNDEX") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    std::string_view text = TextArg(node, 0, out);
    std::string code;
    if (!text.empty()) {
      char previous = platform::UpperAscii(text.front());
      code += previous;
      for (size_t i = 1; i < text.size() && code.size() < 4; ++i) {
        char digit = Digit(platform::UpperAscii(text[i]));
        if (digit == 0) continue;  // vowels, H, W, Y and the rest are dropped
        if (digit != previous) code += digit;
        previous = digit;
      }
    }
    code += "0000";
    code.resize(4);
    ReturnText(out, type, code);
  }

 private:
  static char Digit(char c) {
    switch (c) {
      case 'B': case 'F': case 'P': case 'V':
        return '1';
      case 'C': case 'G': case 'J': case 'K': case 'Q': case 'S': case 'X': case 'Z':
        return '2';
      case 'D': case 'T':
        return '3';
      case 'L':
        return '4';
      case 'M': case 'N':
        return '5';
      case 'R':
        return '6';
      default:
        return 0;
    }
  }
};

class UDFSpace : public BuiltinFunction {
 public:
  UDFSpace() : BuiltinFunction("SPACE") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    int64_t n = WholeNumber64(NumberArg(node, 0, out));
    if (n < 1) n = 0;
    CheckTextLength(static_cast<size_t>(n), "SPACE");
    ExprText& text = out.MutableText();
    text.assign(static_cast<size_t>(n), ' ');
    type = ExpType::Text;
  }
};

// Replaces occurrences of search: those before the start-th stay, then at most count of them
// are replaced.
class UDFStrTran : public BuiltinFunction {
 public:
  UDFStrTran() : BuiltinFunction("STRTRAN") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    Variant source, search, replacement, number;
    TextArg(node, 0, source);
    TextArg(node, 1, search);
    ExpType replacement_type;
    ArgValue(node, 2, replacement, ExpType::Any, replacement_type);
    std::string_view with = replacement_type == ExpType::Text ? replacement.text() : std::string_view();
    double start = 1, count = 0;
    int64_t occurrence = OptionalNumberArg(node, 3, number, start) ? WholeNumber64(start) : 1;
    int64_t remaining = OptionalNumberArg(node, 4, number, count) ? WholeNumber64(count) : INT64_MAX;

    std::string_view rest = source.text(), what = search.text();
    type = ExpType::Text;
    if (rest.empty() || what.empty()) {
      out.SetText(rest);
      return;
    }
    std::string result;
    while (remaining > 0) {
      size_t at = rest.find(what);
      if (at == std::string_view::npos) break;
      if (--occurrence > 0) {
        result.append(rest.substr(0, at + what.size()));
      } else {
        CheckTextLength(result.size() + at + with.size(), "STRTRAN");
        result.append(rest.substr(0, at));
        result.append(with);
        --remaining;
      }
      rest.remove_prefix(at + what.size());
    }
    CheckTextLength(result.size() + rest.size(), "STRTRAN");
    result.append(rest);
    out.SetText(result);
  }
};

class UDFSubStr : public BuiltinFunction {
 public:
  UDFSubStr() : BuiltinFunction("SUBSTR") {}
  void Evaluate(ExpFunction& node, Variant& out, ExpType& type) override {
    Variant number;
    int64_t start = WholeNumber64(NumberArg(node, 1, number));
    double length_arg = 0;
    bool has_length = OptionalNumberArg(node, 2, number, length_arg);
    TextArg(node, 0, out);
    ExprText& text = out.MutableText();
    type = ExpType::Text;
    const auto size = static_cast<int64_t>(text.size());
    if (start == 0 || start > size) {
      text.clear();
      return;
    }
    int64_t length = has_length ? WholeNumber64(length_arg) : size;
    if (length > size - start + 1) length = size - start + 1;
    if (length <= 0) {
      text.clear();
      return;
    }
    // A start below 1 counts from the first character.
    size_t from = start < 1 ? 0 : static_cast<size_t>(start - 1);
    size_t take = static_cast<size_t>(length);
    if (from + take > text.size()) take = text.size() - from;
    text = text.substr(from, take);
  }
};

}  // namespace

void AddStringFunctions(FunctionList& out) {
  out.push_back(std::make_unique<UDFAllTrim>());
  out.push_back(std::make_unique<UDFAsc>());
  out.push_back(std::make_unique<UDFAt>());
  out.push_back(std::make_unique<UDFAtc>());
  out.push_back(std::make_unique<UDFChr>());
  out.push_back(std::make_unique<UDFLeft>());
  out.push_back(std::make_unique<UDFLen>());
  out.push_back(std::make_unique<UDFCase>("LOWER", platform::LowerChar));
  out.push_back(std::make_unique<UDFLTrim>());
  out.push_back(std::make_unique<UDFProper>());
  out.push_back(std::make_unique<UDFRight>());
  out.push_back(std::make_unique<UDFRTrim>());
  out.push_back(std::make_unique<UDFSoundex>());
  out.push_back(std::make_unique<UDFSpace>());
  out.push_back(std::make_unique<UDFStrTran>());
  out.push_back(std::make_unique<UDFSubStr>());
  out.push_back(std::make_unique<UDFTrim>());
  out.push_back(std::make_unique<UDFCase>("UPPER", platform::UpperChar));
}

}  // namespace dbase
