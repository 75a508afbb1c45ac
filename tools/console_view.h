// The upgrade run's view on a console: each status text with the progress position it came
// at ("[11/16] 正在升级客户信息..."), and positions reached between texts on lines of their
// own, saying what the steps since the last line did ("[3/16] 新建数据表 jzghs"); what steps
// did after a status text goes on an indented line of its own. The status line of a failed
// run is empty, so nothing is printed for it; the failure's message is kept for the caller
// to report.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "upgrade/upgrade_view.h"

class ConsoleView : public upgrade::UpgradeView {
 public:
  explicit ConsoleView(std::ostream& out) : out_(out) {}

  void SetStatus(const std::string& text) override;
  void PumpEvents() override { out_.flush(); }
  void SetProgressVisible(bool visible) override;
  void SetProgressMax(int max) override { max_ = max; }
  void SetProgress(int position) override;
  void SetFailure(const std::string& message) override { failure_ = message; }
  void NoteDone(const std::string& what) override { notes_.push_back(what); }

  // Prints a position not yet shown. Call when the run has ended.
  void Finish();
  const std::string& failure() const { return failure_; }

 private:
  void PrintPosition(const std::string& text);
  void PrintNotes(const std::string& notes);
  std::string TakeNotes();

  std::ostream& out_;
  int max_ = 100;
  int position_ = 0;
  bool visible_ = false;
  // A position waits for the status text that usually follows it, to share its line.
  bool position_pending_ = false;
  std::string failure_;
  std::vector<std::string> notes_;  // steps done since the last line
  std::string pending_notes_;       // those that led to the pending position
};
