#include "app/win32/panel.h"

namespace app::win32 {
namespace {

LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(panel, &paint);
      RECT r;
      GetClientRect(panel, &r);
      FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
      DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
      EndPaint(panel, &paint);
      return 0;
    }
    // The controls' colours and notifications are the window's business.
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_COMMAND:
      return SendMessageW(GetParent(panel), message, w, l);
  }
  return DefWindowProcW(panel, message, w, l);
}

}  // namespace

void RegisterPanelClass(HINSTANCE instance) {
  WNDCLASSEXW panel_class{};
  panel_class.cbSize = sizeof panel_class;
  panel_class.lpfnWndProc = PanelProc;
  panel_class.hInstance = instance;
  panel_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  panel_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  panel_class.lpszClassName = kPanelClass;
  RegisterClassExW(&panel_class);
}

}  // namespace app::win32
