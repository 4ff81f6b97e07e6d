// The log's line list and its size limit.
#include "app/log.h"

namespace quarvel {

std::size_t CharacterCount(const std::string& utf8) {
  std::size_t count = 0;
  std::size_t i = 0;
  const std::size_t n = utf8.size();
  while (i < n) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t width = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
      width = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      width = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      width = 4;
    }
    // A sequence cut short or with a bad continuation byte counts its lead byte alone.
    bool valid = i + width <= n;
    for (std::size_t k = 1; valid && k < width; ++k) {
      valid = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
    }
    i += valid ? width : 1;
    ++count;
  }
  return count;
}

void Log::AddLine(std::string text) {
  lines_.push_back(text);
  lengths_.push_back(CharacterCount(text) + kLogLineBreak);
  text_length_ += lengths_.back();
  std::size_t dropped = 0;
  while (text_length_ > kLogLimit && dropped < lines_.size()) {
    text_length_ -= lengths_[dropped];
    ++dropped;
  }
  if (dropped == 0) {
    Notify(&lines_.back(), false);
    return;
  }
  lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(dropped));
  lengths_.erase(lengths_.begin(), lengths_.begin() + static_cast<std::ptrdiff_t>(dropped));
  Notify(&text, true);
}

void Log::Clear() {
  lines_.clear();
  lengths_.clear();
  text_length_ = 0;
  Notify(nullptr, true);
}

std::string Log::Text() const {
  std::string text;
  for (const auto& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void Log::Notify(const std::string* added, bool rebuilt) {
  for (const auto& listener : listeners_) listener(added, rebuilt);
}

}  // namespace quarvel
