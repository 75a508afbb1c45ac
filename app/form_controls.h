// The controls TForm1's handlers drive, as one small interface, so the window's behaviour
// is written once and each toolkit (Qt, Win32) only draws it: the status line and its
// tooltip, the progress bar, enabling, the panel's input, the focus, the open-file dialog's
// answer, the error box, pending events and closing.
#pragma once

#include <optional>
#include <string>

namespace app {

// The window's controls, by their designer names, in the order of the designer's table
// (app/form_layout.h).
enum class FormControl {
  kNone,
  RadioButton1,
  RadioButton2,
  Panel1,
  Label3,
  Edit1,
  Label4,
  Edit2,
  Label1,
  ProgressBar1,
  Button1,
  Button2,
  Label2,
};

// OD, the open-file dialog, as the window's designer set it up.
struct OpenDialogSettings {
  std::string Filter = "数据文件|*.sys";  // one entry: its description, "|", its pattern
  std::string DefaultExt = "sys";
  bool HideReadOnly = true;
  bool EnableSizing = true;
  bool FileMustExist = false;  // a typed name of a missing file reaches the open, which fails
  // The entry's description and pattern, split at the "|".
  std::string FilterDescription() const { return Filter.substr(0, Filter.find('|')); }
  std::string FilterPattern() const { return Filter.substr(Filter.find('|') + 1); }
};

// The error box a failure escaping a handler shows: the error icon and one OK button.
struct ErrorBoxContent {
  std::string title;
  std::string text;
};

class FormControls {
 public:
  virtual ~FormControls() = default;

  // Label1, the status line: its text (it grows to the right with it) and its tooltip.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetStatusTooltip(const std::string& text) = 0;
  // ProgressBar1.
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgress(int position) = 0;

  virtual void SetEnabled(FormControl control, bool enabled) = 0;
  virtual bool IsChecked(FormControl radio_button) const = 0;
  // Panel1: whether its controls take mouse and keyboard input. Their look stays normal.
  virtual void SetPanel1Enabled(bool enabled) = 0;
  virtual FormControl Focused() const = 0;
  virtual void SetFocus(FormControl control) = 0;

  // Shows OD; the chosen file's full path (UTF-8), or nothing when the user cancels.
  virtual std::optional<std::string> ShowOpenDialog(const OpenDialogSettings& od) = 0;
  // Shows the box and waits for OK.
  virtual void ShowErrorBox(const ErrorBoxContent& box) = 0;
  // Handles the window events that are pending, then returns.
  virtual void PumpEvents() = 0;
  // Closes the window now, which ends the program.
  virtual void CloseWindow() = 0;
};

}  // namespace app
