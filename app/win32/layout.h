// The window's controls as the designer laid them out: control id, name, position and size
// at 96 dpi (in the client area, or in Panel1 for the panel's four), text. The window
// builds itself from this table, and the test tool that reads a live window back names
// the controls it finds by their ids.
#pragma once

namespace app::win32 {

enum ControlId : int {
  kRadioButton1 = 101,
  kRadioButton2,
  kPanel1,
  kLabel3,
  kEdit1,
  kLabel4,
  kEdit2,
  kLabel1,
  kProgressBar1,
  kButton1,
  kButton2,
  kLabel2,
};

struct ControlLayout {
  ControlId id;
  const char* name;
  bool in_panel1;
  int left, top, width, height;
  const wchar_t* text;
};

// In creation order, which is also the Tab order: Button1 before Button2.
inline constexpr ControlLayout kControls[] = {
    {kRadioButton1, "RadioButton1", false, 48, 8, 113, 17, L"Windows 身份验证"},
    {kRadioButton2, "RadioButton2", false, 184, 8, 145, 17, L"SQL SERVER 混合登录"},
    {kPanel1, "Panel1", false, 8, 32, 345, 29, L""},
    {kLabel3, "Label3", true, 8, 8, 36, 12, L"用户名"},
    {kEdit1, "Edit1", true, 50, 5, 47, 20, L"sa"},
    {kLabel4, "Label4", true, 126, 9, 24, 12, L"密码"},
    {kEdit2, "Edit2", true, 159, 5, 162, 20, L""},
    {kLabel1, "Label1", false, 16, 64, 0, 12, L""},  // sized to its text
    {kProgressBar1, "ProgressBar1", false, 24, 80, 305, 16, L""},
    {kButton1, "Button1", false, 144, 124, 75, 25, L"升级"},
    {kButton2, "Button2", false, 232, 124, 89, 25, L"选择数据文件"},
    {kLabel2, "Label2", false, 56, 152, 270, 12, L"2005.07.005以前版本升级时间稍长,请耐心等候..."},
};

// The window: class, caption, outer size and place on the screen at 96 dpi.
inline constexpr wchar_t kWindowClass[] = L"TForm1";
inline constexpr wchar_t kCaption[] = L"数据升级";
inline constexpr int kLeft = 465, kTop = 250, kOuterWidth = 371, kOuterHeight = 199;

}  // namespace app::win32
