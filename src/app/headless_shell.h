// HeadlessShell: the main window without a window, for --headless runs and tests. Message boxes
// and escaped failures go to an error stream; every call is recorded.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/window_shell.h"

namespace quarvel {

class HeadlessShell : public WindowShell {
 public:
  // `errors` receives message box texts and escaped failures, one per line; null keeps quiet.
  explicit HeadlessShell(std::ostream* errors = nullptr) : errors_(errors) {}

  void SetCaption(const std::string& caption) override { caption_ = caption; }
  void ButtonsChanged() override { ++button_changes_; }
  void AddTrayIcon() override { tray_icon_ = true; }
  void RemoveTrayIcon() override { tray_icon_ = false; }
  void Beep() override { ++beeps_; }
  void ShowOptionsDialog() override;
  void OpenUrl(const std::string& url) override { opened_urls_.push_back(url); }
  bool WindowVisible() const override { return visible_; }
  void ShowWindow() override { visible_ = true; }
  void HideWindow() override { visible_ = false; }
  void ShowErrorBox(const std::string& text) override;
  void ReportException(const std::string& text) override;
  void Terminate() override { terminated_ = true; }

  // What happens when the options dialog is shown (nothing by default).
  void SetOptionsDialogAction(std::function<void()> action) { options_action_ = std::move(action); }

  const std::string& caption() const { return caption_; }
  int button_changes() const { return button_changes_; }
  bool tray_icon() const { return tray_icon_; }
  int beeps() const { return beeps_; }
  int options_shown() const { return options_shown_; }
  const std::vector<std::string>& opened_urls() const { return opened_urls_; }
  const std::vector<std::string>& error_boxes() const { return error_boxes_; }
  const std::vector<std::string>& exceptions() const { return exceptions_; }
  bool terminated() const { return terminated_; }

 private:
  std::ostream* errors_;
  std::string caption_;
  int button_changes_ = 0;
  bool tray_icon_ = false;
  int beeps_ = 0;
  int options_shown_ = 0;
  std::function<void()> options_action_;
  std::vector<std::string> opened_urls_;
  bool visible_ = true;
  std::vector<std::string> error_boxes_;
  std::vector<std::string> exceptions_;
  bool terminated_ = false;
};

}  // namespace quarvel
