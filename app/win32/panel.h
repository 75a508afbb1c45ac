// Panel1's window class: a plain child window in the button face colour with a raised
// one-pixel edge, holding other controls.
#pragma once

#include <windows.h>

namespace app::win32 {

inline constexpr wchar_t kPanelClass[] = L"TPanel";

void RegisterPanelClass(HINSTANCE instance);

}  // namespace app::win32
