#include "tools/console_view.h"

void ConsoleView::PrintPosition(const std::string& text) {
  out_ << '[' << position_ << '/' << max_ << ']';
  if (!text.empty()) out_ << ' ' << text;
  out_ << '\n';
  position_pending_ = false;
}

void ConsoleView::SetStatus(const std::string& text) {
  if (!text.empty()) PrintPosition(text);
}

void ConsoleView::SetProgressVisible(bool visible) {
  visible_ = visible;
  // A hidden bar's last position is nothing a user would see.
  if (!visible) position_pending_ = false;
}

void ConsoleView::SetProgress(int position) {
  if (position_pending_) PrintPosition("");
  position_ = position;
  position_pending_ = visible_;
}

void ConsoleView::Finish() {
  if (position_pending_) PrintPosition("");
  out_.flush();
}
