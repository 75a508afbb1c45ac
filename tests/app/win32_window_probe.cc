// win32_window_probe COMMAND: reads and drives the live 数据升级 window from another process,
// for the Wine tests of dataupgrade.exe (tests/app/win32_window_test.sh).
//   list               the window (class, caption, outer rectangle, dpi) and every control by
//                      name: position and size in its parent's client area, screen
//                      position, its text's width in its font, enabled, visible, checked,
//                      focused, text
//   status             Label1's text
//   box                the error box: caption, text, whether it has an icon, its buttons
//   box-ok             presses the error box's OK
//   open-dialog NAME   in the open-file dialog: prints its file-type entries, types NAME
//                      into the file name and presses Open
//   close              asks the window to close
// Prints UTF-8; exits 1 when the window (or box, dialog) is not there.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/form_layout.h"
#include "app/win32/control_ids.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_form1.h"

using app::FormControl;
using app::win32::ControlId;
using app::win32::Utf8;
using app::win32::Wide;

namespace {

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

std::wstring Text(HWND w) {
  wchar_t buffer[1024] = {};
  SendMessageW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

std::wstring ClassOf(HWND w) {
  wchar_t buffer[256] = {};
  GetClassNameW(w, buffer, 256);
  return buffer;
}

HWND MainWindow() {
  return FindWindowW(app::win32::kWindowClass, Wide(app::kFormCaption).c_str());
}

// The top-level dialog (#32770) of this process family with `caption`, or any when empty.
HWND Dialog(const wchar_t* caption) {
  return FindWindowW(L"#32770", caption);
}

HWND Focused(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

int List() {
  HWND window = MainWindow();
  if (!window) return 1;
  RECT outer;
  GetWindowRect(window, &outer);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  char line[512];
  std::snprintf(line, sizeof line, "window %s %ld %ld %ld %ld dpi %d %s",
                Utf8(ClassOf(window)).c_str(), outer.left, outer.top, outer.right - outer.left,
                outer.bottom - outer.top, dpi, Utf8(Text(window)).c_str());
  Print(line);
  const HWND focus = Focused(window);
  const HFONT font = app::win32::CreateWindowFont(dpi);
  for (const auto& c : app::kFormLayout) {
    HWND parent = window;  // a parent is itself a control of the window's client area
    if (c.parent != FormControl::kNone) parent = GetDlgItem(window, ControlId(c.parent));
    HWND control = GetDlgItem(parent, ControlId(c.control));
    if (!control) {
      Print(std::string(c.name) + " missing");
      continue;
    }
    RECT r;
    GetWindowRect(control, &r);
    POINT at{r.left, r.top};
    ScreenToClient(parent, &at);
    const bool checkable = ClassOf(control) == L"Button";
    std::snprintf(
        line, sizeof line, "%s %ld %ld %ld %ld screen %ld %ld text-width %d %s %s %s %s %s", c.name,
        at.x, at.y, r.right - r.left, r.bottom - r.top, r.left, r.top,
        app::win32::TextWidth(control, font), IsWindowEnabled(control) ? "enabled" : "disabled",
        IsWindowVisible(control) ? "visible" : "hidden",
        checkable && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "checked" : "-",
        control == focus ? "focused" : "-", Utf8(Text(control)).c_str());
    Print(line);
  }
  return 0;
}

int Status() {
  HWND window = MainWindow();
  if (!window) return 1;
  Print(Utf8(Text(GetDlgItem(window, ControlId(FormControl::Label1)))));
  return 0;
}

int Box(bool press_ok) {
  HWND box = Dialog(Wide(app::kFormCaption).c_str());
  if (!box) return 1;
  if (press_ok) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
  }
  std::string text, buttons;
  bool icon = false;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring kind = ClassOf(child);
    if (kind == L"Static") {
      if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        icon = true;
      } else if (!Text(child).empty()) {
        text = Utf8(Text(child));
      }
    } else if (kind == L"Button" && IsWindowVisible(child)) {
      buttons += (buttons.empty() ? "" : ",") + std::to_string(GetDlgCtrlID(child));
    }
  }
  Print("caption " + Utf8(Text(box)));
  Print(std::string("icon ") + (icon ? "yes" : "no"));
  Print("buttons " + buttons);  // IDOK is 1
  Print("text " + text);
  return 0;
}

// The open-file dialog is the #32770 window owned by the main window.
HWND OpenDialog() {
  HWND window = MainWindow();
  for (HWND w = FindWindowW(L"#32770", nullptr); w;
       w = FindWindowExW(nullptr, w, L"#32770", nullptr)) {
    if (GetWindow(w, GW_OWNER) == window) return w;
  }
  return nullptr;
}

int TypeIntoOpenDialog(const std::wstring& name) {
  HWND dialog = OpenDialog();
  if (!dialog) return 1;
  HWND types = GetDlgItem(dialog, 0x470);  // cmb1: the file types
  const int count = static_cast<int>(SendMessageW(types, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t entry[256] = {};
    SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
    Print("type " + Utf8(entry));
  }
  // The file name box: edt1, or the edit of cmb13 (a ComboBoxEx32 on newer dialogs).
  HWND file_name = GetDlgItem(dialog, 0x480);
  if (HWND name_box = GetDlgItem(dialog, 0x47c); !file_name && name_box) {
    file_name = reinterpret_cast<HWND>(SendMessageW(name_box, CBEM_GETEDITCONTROL, 0, 0));
    if (!file_name) file_name = FindWindowExW(name_box, nullptr, L"Edit", nullptr);
  }
  if (!file_name) return 1;
  SendMessageW(file_name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"list") return List();
  if (command == L"status") return Status();
  if (command == L"box") return Box(false);
  if (command == L"box-ok") return Box(true);
  if (command == L"open-dialog" && argc == 3) return TypeIntoOpenDialog(argv[2]);
  if (command == L"close") {
    HWND window = MainWindow();
    if (!window) return 1;
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
  }
  std::fputs("usage: win32_window_probe list|status|box|box-ok|open-dialog NAME|close\n", stderr);
  return 2;
}
