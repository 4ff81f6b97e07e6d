// Literal-aware scanning.
#include "expr/scan.h"

namespace dbase {

char LiteralCloser(char c) {
  switch (c) {
    case '"': return '"';
    case '\'': return '\'';
    case '[': return ']';
    case '{': return '}';
    default: return 0;
  }
}

namespace {
// Position of the closer of the literal opened at `pos`, or npos.
size_t LiteralEnd(std::string_view text, size_t pos) {
  return text.find(LiteralCloser(text[pos]), pos + 1);
}
}  // namespace

size_t FindBalancingParen(std::string_view text, size_t open) {
  int depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    char c = text[i];
    if (LiteralCloser(c) != 0) {
      i = LiteralEnd(text, i);
      if (i == std::string_view::npos) return i;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) return i;
    }
  }
  return std::string_view::npos;
}

std::vector<std::string_view> SplitArguments(std::string_view text) {
  std::vector<std::string_view> pieces;
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (LiteralCloser(c) != 0) {
      size_t end = LiteralEnd(text, i);
      if (end == std::string_view::npos) break;  // the rest is one piece
      i = end;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == ',' && depth == 0) {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

int MaxParenDepth(std::string_view text) {
  int depth = 0, deepest = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (LiteralCloser(c) != 0) {
      i = LiteralEnd(text, i);
      if (i == std::string_view::npos) break;
    } else if (c == '(') {
      if (++depth > deepest) deepest = depth;
    } else if (c == ')') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace dbase
