// OD as the common open-file dialog (GetOpenFileNameW).
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <optional>
#include <string>

#include "app/form_controls.h"

namespace app::win32 {

// What an OPENFILENAMEW points into; lives as long as the structure is used.
struct OpenDialogBuffers {
  std::wstring filter;  // "description\0pattern\0\0"
  std::wstring default_extension;
  std::wstring file = std::wstring(32768, L'\0');
};

// The structure for `od`: the one filter entry, the default extension, the read-only box
// hidden, resizable, and a typed name that need not exist.
OPENFILENAMEW OpenFileNameFor(const OpenDialogSettings& od, HWND owner, OpenDialogBuffers& buffers);

// Shows the dialog; the chosen file's full path, or nothing when cancelled.
std::optional<std::string> ShowOpenDialog(const OpenDialogSettings& od, HWND owner);

}  // namespace app::win32
