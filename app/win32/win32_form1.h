// The Win32 skin of the window (dataupgrade.exe from the MinGW-w64 build): window class
// TForm1 with the designer's table of controls (app/form_layout.h) as Windows' own
// controls, scaled to the system's dpi, and TForm1's behaviour behind them. It knows Win32 and
// FormControls only.
#pragma once

#include <windows.h>

#include <filesystem>
#include <map>
#include <memory>

#include "app/Unit1.h"
#include "app/form_controls.h"
#include "app/win32/control_ids.h"

namespace app::win32 {

// The window's font for `dpi`: 宋体 9 pt.
HFONT CreateWindowFont(int dpi);
// The width of `control`'s text in `font`.
int TextWidth(HWND control, HFONT font);

class Win32Form1 : private FormControls {
 public:
  // Creates the window and its controls and runs FormCreate; the window is shown by Show.
  Win32Form1(HINSTANCE instance, std::filesystem::path executable_directory);
  ~Win32Form1() override;
  Win32Form1(const Win32Form1&) = delete;
  Win32Form1& operator=(const Win32Form1&) = delete;

  void Show(int show_command);
  HWND window() const { return window_; }
  // Whether `message` was the window's keyboard navigation (Tab, Enter) and is handled.
  bool Navigate(MSG& message) { return IsDialogMessageW(window_, &message) != 0; }

  TForm1 form;  // the behaviour: connections, queries, OD, TemplatePath, handlers

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);
  void CreateControls();
  int Scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }
  HWND Control(FormControl control) const;

  // FormControls.
  void SetStatusText(const std::string& text) override;
  void SetStatusTooltip(const std::string& text) override;
  void SetProgressVisible(bool visible) override;
  void SetProgressMax(int max) override;
  void SetProgress(int position) override;
  void SetEnabled(FormControl control, bool enabled) override;
  bool IsChecked(FormControl radio_button) const override;
  void SetPanel1Enabled(bool enabled) override;
  FormControl Focused() const override;
  void SetFocus(FormControl control) override;
  std::optional<std::string> ShowOpenDialog(const OpenDialogSettings& od) override;
  void ShowErrorBox(const ErrorBoxContent& box) override;
  void PumpEvents() override;
  void CloseWindow() override;

  HINSTANCE instance_;
  int dpi_ = 96;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND focus_ = nullptr;  // the control to give the focus back to when the window is activated
  std::map<FormControl, HWND> controls_;  // every control of the table
};

}  // namespace app::win32
