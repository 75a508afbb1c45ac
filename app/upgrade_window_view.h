// The window as an upgrade run's view: the status line is Label1, the progress bar is
// ProgressBar1, and pumping events lets the window repaint while the run goes on.
#pragma once

#include <QLabel>
#include <QProgressBar>

#include "upgrade/upgrade_view.h"

namespace app {

class UpgradeWindowView : public upgrade::UpgradeView {
 public:
  UpgradeWindowView(QLabel* status_line, QProgressBar* progress_bar)
      : status_line_(status_line), progress_bar_(progress_bar) {}

  void SetStatus(const std::string& text) override;
  void PumpEvents() override;
  void SetProgressVisible(bool visible) override { progress_bar_->setVisible(visible); }
  void SetProgressMax(int max) override { progress_bar_->setMaximum(max); }
  void SetProgress(int position) override { progress_bar_->setValue(position); }
  // The status line stays empty; its tooltip says why, for whoever supports the customer.
  void SetFailure(const std::string& message) override;

 private:
  QLabel* status_line_;
  QProgressBar* progress_bar_;
};

// Sets the status line's text; the label grows to the right with it. A new text clears the
// tooltip an earlier failure left.
void ShowStatus(QLabel* status_line, const QString& text);

}  // namespace app
