// Text comparison and wildcard matching.
#include "expr/text_compare.h"

#include <cstring>
#include <string>

#include "platform/locale.h"

namespace dbase {

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

int CompareBytes(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  int r = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);  // memcmp compares as unsigned char
  if (r != 0) return r < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Position of `segment` in `subject` at or after `from`, with wild_one matching any character.
size_t FindSegment(std::string_view subject, std::string_view segment, size_t from, char wild_one) {
  if (segment.size() > subject.size()) return std::string_view::npos;
  for (size_t start = from; start + segment.size() <= subject.size(); ++start) {
    size_t i = 0;
    while (i < segment.size() && (segment[i] == wild_one || segment[i] == subject[start + i])) ++i;
    if (i == segment.size()) return start;
  }
  return std::string_view::npos;
}

}  // namespace

std::string_view TrimTrailing(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TrimLeading(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  return text;
}

bool WildcardMatch(std::string_view pattern, std::string_view subject, char wild_many, char wild_one) {
  while (!pattern.empty() && pattern.front() == wild_many) pattern.remove_prefix(1);
  while (!pattern.empty() && pattern.back() == wild_many) pattern.remove_suffix(1);
  if (pattern.empty()) return !subject.empty();
  size_t from = 0;
  while (true) {
    size_t cut = pattern.find(wild_many);
    std::string_view segment = pattern.substr(0, cut);
    if (!segment.empty()) {
      size_t at = FindSegment(subject, segment, from, wild_one);
      if (at == std::string_view::npos) return false;
      from = at + segment.size();
    }
    if (cut == std::string_view::npos) return true;
    pattern.remove_prefix(cut + 1);
  }
}

int CompareTexts(std::string_view left, std::string_view right, const OperatorSettings& settings) {
  left = TrimTrailing(left);
  right = TrimTrailing(right);
  if (left.empty() || right.empty()) {
    if (left.empty() && right.empty()) return 0;
    return left.empty() ? -1 : 1;
  }
  std::string upper_left, upper_right;
  if (settings.case_insensitive) {
    upper_left = platform::UpperText(left);
    upper_right = platform::UpperText(right);
    left = upper_left;
    right = upper_right;
  }
  if (settings.wildcards && (right.front() == settings.wild_many || right.back() == settings.wild_many)) {
    return WildcardMatch(right, left, settings.wild_many, settings.wild_one) ? 0 : -1;
  }
  return CompareBytes(left, right);
}

}  // namespace dbase
