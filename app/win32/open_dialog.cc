#include "app/win32/open_dialog.h"

#include "app/win32/wide_text.h"

namespace app::win32 {

OPENFILENAMEW OpenFileNameFor(const OpenDialogSettings& od, HWND owner,
                              OpenDialogBuffers& buffers) {
  buffers.filter = Wide(od.FilterDescription());
  buffers.filter.push_back(L'\0');
  buffers.filter += Wide(od.FilterPattern());
  buffers.filter.push_back(L'\0');  // the list's end: c_str() adds the second
  buffers.default_extension = Wide(od.DefaultExt);
  buffers.file.assign(buffers.file.size(), L'\0');

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = buffers.filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffers.file.data();
  ofn.nMaxFile = static_cast<DWORD>(buffers.file.size());
  ofn.lpstrDefExt = buffers.default_extension.empty() ? nullptr : buffers.default_extension.c_str();
  ofn.Flags = OFN_EXPLORER;
  if (od.HideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
  if (od.EnableSizing) ofn.Flags |= OFN_ENABLESIZING;
  if (od.FileMustExist) ofn.Flags |= OFN_FILEMUSTEXIST;
  return ofn;
}

std::optional<std::string> ShowOpenDialog(const OpenDialogSettings& od, HWND owner) {
  OpenDialogBuffers buffers;
  OPENFILENAMEW ofn = OpenFileNameFor(od, owner, buffers);
  if (!GetOpenFileNameW(&ofn)) return std::nullopt;
  return Utf8(buffers.file.c_str());
}

}  // namespace app::win32
