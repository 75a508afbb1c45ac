// What the Win32 skin adds to the designer's table (app/form_layout.h): the window's class,
// and each control's id, by which GetDlgItem finds it and WM_COMMAND names it. The test tool
// that reads a live window back finds the controls by these ids.
#pragma once

#include "app/form_controls.h"

namespace app::win32 {

inline constexpr wchar_t kWindowClass[] = L"TForm1";

// 100 plus the control's place in FormControl: 101 (RadioButton1) to 112 (Label2).
constexpr int ControlId(FormControl control) {
  return 100 + static_cast<int>(control);
}
constexpr FormControl ControlWithId(int id) {
  return static_cast<FormControl>(id - 100);
}

}  // namespace app::win32
