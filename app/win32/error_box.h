// The error box as a Windows message box.
#pragma once

#include <windows.h>

#include "app/form_controls.h"

namespace app::win32 {

// The error icon and one OK button.
inline constexpr UINT kErrorBoxStyle = MB_ICONERROR | MB_OK;

// Shows `box` over `owner` (none before the window is shown) and waits for OK.
void ShowErrorBox(HWND owner, const ErrorBoxContent& box);

}  // namespace app::win32
