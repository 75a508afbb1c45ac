// 数据升级 (Win32): the program entry. Creates the window, runs the message loop until the
// window is closed. No command line is read.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/win32/win32_form1.h"
#include "upgrade/program_paths.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the open-file dialog uses COM
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  int status = 0;
  {
    app::win32::Win32Form1 Form1(instance, upgrade::ExecutableDirectory());
    Form1.Show(show_command);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (Form1.window() && Form1.Navigate(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    status = static_cast<int>(message.wParam);
  }
  CoUninitialize();
  return status;
}
