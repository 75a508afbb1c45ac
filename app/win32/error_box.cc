#include "app/win32/error_box.h"

#include "app/win32/wide_text.h"

namespace app::win32 {

void ShowErrorBox(HWND owner, const ErrorBoxContent& box) {
  MessageBoxW(owner, Wide(box.text).c_str(), Wide(box.title).c_str(), kErrorBoxStyle);
}

}  // namespace app::win32
