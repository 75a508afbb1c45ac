#include "app/win32/win32_form1.h"

#include <commctrl.h>

#include <iterator>

#include "app/form_layout.h"
#include "app/win32/error_box.h"
#include "app/win32/open_dialog.h"
#include "app/win32/panel.h"
#include "app/win32/wide_text.h"

namespace app::win32 {
namespace {

struct ControlClass {
  const wchar_t* window_class;
  DWORD style;
  DWORD ex_style;
};

// A kind of control of the designer's table as a Windows control class and its styles.
ControlClass ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::kRadioButton:
      return {L"BUTTON", BS_AUTORADIOBUTTON, 0};
    case ControlKind::kPanel:
      return {kPanelClass, WS_GROUP, WS_EX_CONTROLPARENT};
    case ControlKind::kEdit:
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::kProgressBar:
      return {PROGRESS_CLASSW, 0, 0};
    case ControlKind::kPushButton:
      return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::kLabel:
      break;
  }
  return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
}

// A run of radio buttons, or of push buttons, is a group of its own: the arrow keys move
// within it, Tab from one group to the next.
bool StartsGroup(size_t index) {
  const ControlKind kind = kFormLayout[index].kind;
  return (kind == ControlKind::kRadioButton || kind == ControlKind::kPushButton) &&
         (index == 0 || kFormLayout[index - 1].kind != kind);
}

// The system's dpi, which the window is laid out for (it is system-dpi aware).
int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

HFONT CreateWindowFont(int dpi) {
  // 宋体 9 pt. GB2312_CHARSET lets Windows substitute a Chinese face where SimSun is absent.
  return CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, L"宋体");
}

int TextWidth(HWND control, HFONT font) {
  wchar_t text[512] = {};
  const int length =
      static_cast<int>(SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text)));
  HDC dc = GetDC(control);
  const HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text, length, &extent);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return extent.cx;
}

Win32Form1::Win32Form1(HINSTANCE instance, std::filesystem::path executable_directory)
    : form(*this, std::move(executable_directory)), instance_(instance), dpi_(SystemDpi()) {
  RegisterPanelClass(instance);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);

  font_ = CreateWindowFont(dpi_);
  window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, Wide(kFormCaption).c_str(),
                            WS_OVERLAPPEDWINDOW, Scaled(kFormLeft), Scaled(kFormTop),
                            Scaled(kFormOuterWidth), Scaled(kFormOuterHeight), nullptr, nullptr,
                            instance, this);
  CreateControls();
  form.Handle(&TForm1::FormCreate);
}

Win32Form1::~Win32Form1() {
  if (window_) DestroyWindow(window_);
  if (font_) DeleteObject(font_);
}

void Win32Form1::CreateControls() {
  // In the table's order, which is the Tab order.
  for (size_t i = 0; i < std::size(kFormLayout); ++i) {
    const ControlLayout& c = kFormLayout[i];
    const ControlClass kind = ClassOf(c.kind);
    DWORD style = WS_CHILD | kind.style;
    if (c.visible) style |= WS_VISIBLE;
    if (StartsGroup(i)) style |= WS_GROUP;
    // Label1, the status line: SS_NOTIFY lets its tooltip see the mouse over it.
    if (c.control == FormControl::Label1) style |= SS_NOTIFY;
    const HWND parent = c.parent == FormControl::kNone ? window_ : Control(c.parent);
    // A width of kSizedToText is 0 until SetStatusText sizes the control to its text.
    const HWND control = CreateWindowExW(
        kind.ex_style, kind.window_class, Wide(c.text).c_str(), style, Scaled(c.left),
        Scaled(c.top), Scaled(c.width), Scaled(c.height), parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(c.control))), instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    controls_[c.control] = control;
    if (c.checked) SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
    if (c.kind == ControlKind::kRadioButton) {
      // The sizes were made for SimSun. Where Windows substitutes a wider face, a radio
      // button's caption grows to the right (into empty space) rather than be cut.
      RECT r;
      GetWindowRect(control, &r);
      const int needed = TextWidth(control, font_) + GetSystemMetrics(SM_CXMENUCHECK) + Scaled(4);
      if (needed > r.right - r.left) {
        SetWindowPos(control, nullptr, 0, 0, needed, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
      }
    }
    if (c.kind == ControlKind::kProgressBar) {
      SendMessageW(control, PBM_SETRANGE32, 0, 100);
      SendMessageW(control, PBM_SETPOS, 0, 0);
    }
  }

  // Label1's tooltip: the message of the failure that ended a run, empty otherwise.
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                             nullptr, instance_, nullptr);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(Control(FormControl::Label1));
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

void Win32Form1::Show(int show_command) {
  ShowWindow(window_, show_command);
  UpdateWindow(window_);
  ::SetFocus(Control(FormControl::Button1));
}

HWND Win32Form1::Control(FormControl control) const {
  const auto it = controls_.find(control);
  return it == controls_.end() ? nullptr : it->second;
}

LRESULT CALLBACK Win32Form1::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<Win32Form1*>(create->lpCreateParams)->window_ = window;
  }
  auto* self = reinterpret_cast<Win32Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return self ? self->Handle(message, w, l) : DefWindowProcW(window, message, w, l);
}

LRESULT Win32Form1::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(w) == BN_CLICKED) {
        switch (ControlWithId(LOWORD(w))) {
          case FormControl::Button1:
            form.Handle(&TForm1::Button1Click);
            return 0;
          case FormControl::Button2:
            form.Handle(&TForm1::Button2Click);
            return 0;
          case FormControl::RadioButton1:
            form.Handle(&TForm1::RadioButton1Click);
            return 0;
          case FormControl::RadioButton2:
            form.Handle(&TForm1::RadioButton2Click);
            return 0;
          default:
            break;
        }
      }
      break;
    case WM_CTLCOLORSTATIC: {
      auto dc = reinterpret_cast<HDC>(w);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      // The notice in pure red.
      if (reinterpret_cast<HWND>(l) == Control(FormControl::Label2))
        SetTextColor(dc, RGB(255, 0, 0));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case DM_GETDEFID: {
      // Enter presses the push button that has the focus (the dialog manager asks here).
      const int focused = GetDlgCtrlID(GetFocus());
      const FormControl button = ControlWithId(focused);
      if (button == FormControl::Button1 || button == FormControl::Button2) {
        return MAKELRESULT(focused, DC_HASDEFID);
      }
      return 0;
    }
    case WM_ACTIVATE:
      // Where the focus was when the window was left, it is again when it comes back.
      if (LOWORD(w) == WA_INACTIVE) {
        focus_ = GetFocus();
      } else if (focus_ && IsWindowEnabled(focus_)) {
        ::SetFocus(focus_);
        return 0;
      }
      break;
    case WM_CLOSE:
      if (form.CloseQuery()) DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window_, message, w, l);
}

void Win32Form1::SetStatusText(const std::string& text) {
  const HWND label = Control(FormControl::Label1);
  SetWindowTextW(label, Wide(text).c_str());
  // Sized to its text: it grows to the right.
  SetWindowPos(label, nullptr, 0, 0, TextWidth(label, font_), Scaled(12),
               SWP_NOMOVE | SWP_NOZORDER);
}

void Win32Form1::SetStatusTooltip(const std::string& text) {
  const std::wstring wide = Wide(text);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(Control(FormControl::Label1));
  tool.lpszText = const_cast<wchar_t*>(wide.c_str());
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Form1::SetProgressVisible(bool visible) {
  ShowWindow(Control(FormControl::ProgressBar1), visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Form1::SetProgressMax(int max) {
  SendMessageW(Control(FormControl::ProgressBar1), PBM_SETRANGE32, 0, max);
}

void Win32Form1::SetProgress(int position) {
  SendMessageW(Control(FormControl::ProgressBar1), PBM_SETPOS, position, 0);
}

void Win32Form1::SetEnabled(FormControl control, bool enabled) {
  if (HWND w = Control(control)) EnableWindow(w, enabled);
}

bool Win32Form1::IsChecked(FormControl radio_button) const {
  HWND w = Control(radio_button);
  return w && SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Disabling the panel window takes its children's input and leaves their look: Windows'
// own rule for the children of a disabled window. Tab skips them meanwhile.
void Win32Form1::SetPanel1Enabled(bool enabled) {
  EnableWindow(Control(FormControl::Panel1), enabled);
  for (const ControlLayout& c : kFormLayout) {
    if (c.parent != FormControl::Panel1 || c.kind != ControlKind::kEdit) continue;
    const HWND edit = Control(c.control);
    const LONG_PTR style = GetWindowLongPtrW(edit, GWL_STYLE);
    SetWindowLongPtrW(edit, GWL_STYLE, enabled ? style | WS_TABSTOP : style & ~WS_TABSTOP);
  }
}

FormControl Win32Form1::Focused() const {
  const HWND focus = GetFocus();
  for (const auto& [control, window] : controls_) {
    if (focus && window == focus) return control;
  }
  return FormControl::kNone;
}

void Win32Form1::SetFocus(FormControl control) {
  if (HWND w = Control(control)) ::SetFocus(w);
}

std::optional<std::string> Win32Form1::ShowOpenDialog(const OpenDialogSettings& od) {
  return win32::ShowOpenDialog(od, window_);
}

void Win32Form1::ShowErrorBox(const ErrorBoxContent& box) {
  win32::ShowErrorBox(window_ && IsWindowVisible(window_) ? window_ : nullptr, box);
}

void Win32Form1::PumpEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the main loop to see
      return;
    }
    if (window_ && Navigate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Win32Form1::CloseWindow() {
  if (window_) DestroyWindow(window_);
}

}  // namespace app::win32
