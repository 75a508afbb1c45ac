// FormControls for tests: records what TForm1 does to its controls and answers the dialog
// from a script. Disabling the focused control takes the focus away, as toolkits do.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/form_controls.h"

class FakeFormControls : public app::FormControls {
 public:
  std::string status = "";
  std::string tooltip = "";
  bool progress_visible = false;
  int progress_max = 100;
  int progress = 0;
  std::map<app::FormControl, bool> enabled;  // absent: enabled
  bool radio_button2_checked = true;
  std::optional<bool> panel1_enabled;
  app::FormControl focus = app::FormControl::Button1;
  std::optional<std::string> next_choice;  // the dialog's answer; none: cancel
  std::vector<app::OpenDialogSettings> dialogs_shown;
  std::vector<app::ErrorBoxContent> error_boxes;
  int pumps = 0;
  std::function<void()> on_pump;  // runs at each pump, as a pending event would
  bool closed = false;

  bool Enabled(app::FormControl c) const {
    auto it = enabled.find(c);
    return it == enabled.end() || it->second;
  }

  void SetStatusText(const std::string& text) override { status = text; }
  void SetStatusTooltip(const std::string& text) override { tooltip = text; }
  void SetProgressVisible(bool visible) override { progress_visible = visible; }
  void SetProgressMax(int max) override { progress_max = max; }
  void SetProgress(int position) override { progress = position; }
  void SetEnabled(app::FormControl c, bool on) override {
    enabled[c] = on;
    if (!on && focus == c) focus = app::FormControl::kNone;
  }
  bool IsChecked(app::FormControl c) const override {
    return (c == app::FormControl::RadioButton2) == radio_button2_checked;
  }
  void SetPanel1Enabled(bool on) override { panel1_enabled = on; }
  app::FormControl Focused() const override { return focus; }
  void SetFocus(app::FormControl c) override { focus = c; }
  std::optional<std::string> ShowOpenDialog(const app::OpenDialogSettings& od) override {
    dialogs_shown.push_back(od);
    return next_choice;
  }
  void ShowErrorBox(const app::ErrorBoxContent& box) override { error_boxes.push_back(box); }
  void PumpEvents() override {
    ++pumps;
    if (on_pump) on_pump();
  }
  void CloseWindow() override { closed = true; }
};
