// HeadlessShell: message boxes and escaped failures as lines on the error stream.
#include "app/headless_shell.h"

namespace quarvel {

void HeadlessShell::ShowOptionsDialog() {
  ++options_shown_;
  if (options_action_) options_action_();
}

void HeadlessShell::ShowErrorBox(const std::string& text) {
  error_boxes_.push_back(text);
  if (errors_ != nullptr) *errors_ << text << '\n' << std::flush;
}

void HeadlessShell::ReportException(const std::string& text) {
  exceptions_.push_back(text);
  if (errors_ != nullptr) *errors_ << "Erro: " << text << '\n' << std::flush;
}

}  // namespace quarvel
