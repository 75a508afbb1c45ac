// The window as an upgrade run's view: the status line is Label1, the progress bar is
// ProgressBar1, and pumping events lets the window repaint while the run goes on.
#pragma once

#include "app/form_controls.h"
#include "upgrade/upgrade_view.h"

class TForm1;

namespace app {

class FormUpgradeView : public upgrade::UpgradeView {
 public:
  FormUpgradeView(TForm1& form, FormControls& controls) : form_(form), controls_(controls) {}

  void SetStatus(const std::string& text) override;
  void PumpEvents() override { controls_.PumpEvents(); }
  void SetProgressVisible(bool visible) override { controls_.SetProgressVisible(visible); }
  void SetProgressMax(int max) override { controls_.SetProgressMax(max); }
  void SetProgress(int position) override { controls_.SetProgress(position); }
  // The status line stays empty; its tooltip says why, for whoever supports the customer.
  void SetFailure(const std::string& message) override { controls_.SetStatusTooltip(message); }

 private:
  TForm1& form_;
  FormControls& controls_;
};

}  // namespace app
