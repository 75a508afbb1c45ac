#include "app/win32/win32_form1.h"

#include <commctrl.h>

#include "app/win32/error_box.h"
#include "app/win32/open_dialog.h"
#include "app/win32/panel.h"
#include "app/win32/wide_text.h"

namespace app::win32 {
namespace {

struct ControlKind {
  const wchar_t* window_class;
  DWORD style;
  DWORD ex_style;
};

ControlKind KindOf(ControlId id) {
  switch (id) {
    case kRadioButton1:  // the first of the pair: a group of its own
      return {L"BUTTON", BS_AUTORADIOBUTTON | WS_GROUP, 0};
    case kRadioButton2:
      return {L"BUTTON", BS_AUTORADIOBUTTON, 0};
    case kPanel1:
      return {kPanelClass, WS_GROUP, WS_EX_CONTROLPARENT};
    case kEdit1:
    case kEdit2:
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case kProgressBar1:
      return {PROGRESS_CLASSW, 0, 0};
    case kButton1:
      return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 0};
    case kButton2:
      return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case kLabel1:  // SS_NOTIFY: the tooltip sees the mouse over it
      return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0};
    default:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
  }
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
  window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, kCaption, WS_OVERLAPPEDWINDOW,
                            Scaled(kLeft), Scaled(kTop), Scaled(kOuterWidth), Scaled(kOuterHeight),
                            nullptr, nullptr, instance, this);
  CreateControls();
  form.Handle(&TForm1::FormCreate);
}

Win32Form1::~Win32Form1() {
  if (window_) DestroyWindow(window_);
  if (font_) DeleteObject(font_);
}

void Win32Form1::CreateControls() {
  for (const ControlLayout& c : kControls) {
    const ControlKind kind = KindOf(c.id);
    const HWND parent = c.in_panel1 ? Control(kPanel1) : window_;
    DWORD visible = c.id == kProgressBar1 ? 0 : WS_VISIBLE;  // hidden until a run shows it
    const HWND control =
        CreateWindowExW(kind.ex_style, kind.window_class, c.text, WS_CHILD | visible | kind.style,
                        Scaled(c.left), Scaled(c.top), Scaled(c.width), Scaled(c.height), parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    controls_[c.id] = control;
  }
  SendMessageW(Control(kRadioButton2), BM_SETCHECK, BST_CHECKED, 0);
  // The sizes were made for SimSun. Where Windows substitutes a wider face, a radio
  // button's caption grows to the right (into empty space) rather than be cut.
  for (ControlId id : {kRadioButton1, kRadioButton2}) {
    const HWND radio = Control(id);
    RECT r;
    GetWindowRect(radio, &r);
    const int needed = TextWidth(radio, font_) + GetSystemMetrics(SM_CXMENUCHECK) + Scaled(4);
    if (needed > r.right - r.left) {
      SetWindowPos(radio, nullptr, 0, 0, needed, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    }
  }
  SendMessageW(Control(kProgressBar1), PBM_SETRANGE32, 0, 100);
  SendMessageW(Control(kProgressBar1), PBM_SETPOS, 0, 0);

  // Label1's tooltip: the message of the failure that ended a run, empty otherwise.
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                             nullptr, instance_, nullptr);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(Control(kLabel1));
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

void Win32Form1::Show(int show_command) {
  ShowWindow(window_, show_command);
  UpdateWindow(window_);
  ::SetFocus(Control(kButton1));
}

HWND Win32Form1::Control(FormControl control) const {
  switch (control) {
    case FormControl::RadioButton1:
      return Control(kRadioButton1);
    case FormControl::RadioButton2:
      return Control(kRadioButton2);
    case FormControl::Edit1:
      return Control(kEdit1);
    case FormControl::Edit2:
      return Control(kEdit2);
    case FormControl::Button1:
      return Control(kButton1);
    case FormControl::Button2:
      return Control(kButton2);
    case FormControl::kNone:
      break;
  }
  return nullptr;
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
        switch (LOWORD(w)) {
          case kButton1:
            form.Handle(&TForm1::Button1Click);
            return 0;
          case kButton2:
            form.Handle(&TForm1::Button2Click);
            return 0;
          case kRadioButton1:
            form.Handle(&TForm1::RadioButton1Click);
            return 0;
          case kRadioButton2:
            form.Handle(&TForm1::RadioButton2Click);
            return 0;
        }
      }
      break;
    case WM_CTLCOLORSTATIC: {
      auto dc = reinterpret_cast<HDC>(w);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      // The notice in pure red.
      if (reinterpret_cast<HWND>(l) == Control(kLabel2)) SetTextColor(dc, RGB(255, 0, 0));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case DM_GETDEFID: {
      // Enter presses the push button that has the focus (the dialog manager asks here).
      const int focused = GetDlgCtrlID(GetFocus());
      if (focused == kButton1 || focused == kButton2) return MAKELRESULT(focused, DC_HASDEFID);
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
  const HWND label = Control(kLabel1);
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
  tool.uId = reinterpret_cast<UINT_PTR>(Control(kLabel1));
  tool.lpszText = const_cast<wchar_t*>(wide.c_str());
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Form1::SetProgressVisible(bool visible) {
  ShowWindow(Control(kProgressBar1), visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Form1::SetProgressMax(int max) {
  SendMessageW(Control(kProgressBar1), PBM_SETRANGE32, 0, max);
}

void Win32Form1::SetProgress(int position) {
  SendMessageW(Control(kProgressBar1), PBM_SETPOS, position, 0);
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
  EnableWindow(Control(kPanel1), enabled);
  for (ControlId id : {kEdit1, kEdit2}) {
    const HWND edit = Control(id);
    const LONG_PTR style = GetWindowLongPtrW(edit, GWL_STYLE);
    SetWindowLongPtrW(edit, GWL_STYLE, enabled ? style | WS_TABSTOP : style & ~WS_TABSTOP);
  }
}

FormControl Win32Form1::Focused() const {
  const HWND focus = GetFocus();
  for (FormControl c : {FormControl::RadioButton1, FormControl::RadioButton2, FormControl::Edit1,
                        FormControl::Edit2, FormControl::Button1, FormControl::Button2}) {
    if (focus && Control(c) == focus) return c;
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
