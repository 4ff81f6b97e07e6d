// The log: the main window's list of lines, the one channel through which the program reports
// to the user. Its text never exceeds kLogLimit characters after a change: the oldest lines go.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quarvel {

// Characters the log's whole text may hold once a change has been handled.
inline constexpr std::size_t kLogLimit = 8192;
// The log's text ends every line with CR LF, so each line costs its characters plus two.
inline constexpr std::size_t kLogLineBreak = 2;

// Characters (Unicode code points) of UTF-8 text; a byte that is not valid UTF-8 counts as one.
std::size_t CharacterCount(const std::string& utf8);

class Log {
 public:
  // Told after every change. `added` is the text given to AddLine (null for Clear); `rebuilt` is
  // true when lines other than the added one changed (cleared, or oldest lines dropped), so a
  // view must re-read Lines() rather than append `added`.
  using Listener = std::function<void(const std::string* added, bool rebuilt)>;

  // Appends one line (an empty text appends an empty line), then applies the size limit.
  void AddLine(std::string text);
  // Removes every line.
  void Clear();

  const std::vector<std::string>& Lines() const { return lines_; }
  // The whole text: every line followed by CR LF.
  std::string Text() const;
  // Length of Text() in characters.
  std::size_t TextLength() const { return text_length_; }

  // Listeners are told in the order they were added.
  void AddListener(Listener listener) { listeners_.push_back(std::move(listener)); }

 private:
  void Notify(const std::string* added, bool rebuilt);

  std::vector<std::string> lines_;
  std::vector<std::size_t> lengths_;  // characters of each line, line break included
  std::size_t text_length_ = 0;
  std::vector<Listener> listeners_;
};

}  // namespace quarvel
