// What an upgrade run reports to: the window's status line and progress bar, or a console.
// The run calls these on its own thread, in the order it makes progress.
#pragma once

#include <string>

namespace upgrade {

class UpgradeView {
 public:
  virtual ~UpgradeView() = default;

  virtual void SetStatus(const std::string& text) = 0;
  // Lets pending window events be handled, so a new status is painted while the run goes on.
  virtual void PumpEvents() = 0;
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgress(int position) = 0;
  // The message of the failure that ended a run. The status line is already empty by then
  // and stays so; this is for whoever supports the user (a tooltip, a console line).
  virtual void SetFailure(const std::string& message) = 0;
  // What the step just done changed, in a few words ("新建数据表 gsxz"), for a view that
  // lists the steps (a console). The window shows nothing of it.
  virtual void NoteDone(const std::string& what) { (void)what; }
};

}  // namespace upgrade
