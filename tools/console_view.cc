#include "tools/console_view.h"

std::string ConsoleView::TakeNotes() {
  std::string text;
  for (const std::string& n : notes_) text += (text.empty() ? "" : "，") + n;
  notes_.clear();
  return text;
}

void ConsoleView::PrintPosition(const std::string& text) {
  out_ << '[' << position_ << '/' << max_ << "] " << text << '\n';
  position_pending_ = false;
}

void ConsoleView::PrintNotes(const std::string& notes) {
  if (!notes.empty()) out_ << "      " << notes << '\n';
}

void ConsoleView::SetStatus(const std::string& text) {
  if (text.empty()) return;
  // The steps that led to the position, then the text it came with.
  PrintNotes(position_pending_ ? std::exchange(pending_notes_, {}) : TakeNotes());
  PrintPosition(text);
}

void ConsoleView::SetProgressVisible(bool visible) {
  visible_ = visible;
  // A hidden bar's last position is nothing a user would see.
  if (!visible) position_pending_ = false;
}

void ConsoleView::SetProgress(int position) {
  if (position_pending_) {
    const std::string notes = std::exchange(pending_notes_, {});
    PrintPosition(notes.empty() ? "无需改动" : notes);
  }
  position_ = position;
  position_pending_ = visible_;
  // What was done since the last line is what reached this position.
  if (position_pending_) pending_notes_ = TakeNotes();
}

void ConsoleView::Finish() {
  if (position_pending_) {
    const std::string notes = std::exchange(pending_notes_, {});
    PrintPosition(notes.empty() ? "无需改动" : notes);
  }
  PrintNotes(TakeNotes());
  out_.flush();
}
