// The window's controls as the designer laid them out, with no toolkit in it: what each
// control is, where it sits and how big it is at 96 dpi (in its parent's client area), its
// text, and the designer's initial state. Both skins (app/qt, app/win32) build the window by
// looping over this table, so the layout is written once.
#pragma once

#include "app/form_controls.h"

namespace app {

// What a control is; each skin makes a kind its toolkit's own control.
enum class ControlKind { kRadioButton, kPanel, kLabel, kEdit, kProgressBar, kPushButton };

struct ControlLayout {
  FormControl control;
  const char* name;  // the designer's
  ControlKind kind;
  FormControl parent;            // kNone: the window's client area
  int left, top, width, height;  // width kSizedToText: as wide as its text
  const char* text;              // UTF-8
  bool visible;
  bool checked;  // a radio button's initial state
};

inline constexpr int kSizedToText = 0;

// In creation order, which is also the Tab order: Button1 before Button2.
inline constexpr ControlLayout kFormLayout[] = {
    {FormControl::RadioButton1, "RadioButton1", ControlKind::kRadioButton, FormControl::kNone, 48,
     8, 113, 17, "Windows 身份验证", true, false},
    {FormControl::RadioButton2, "RadioButton2", ControlKind::kRadioButton, FormControl::kNone, 184,
     8, 145, 17, "SQL SERVER 混合登录", true, true},
    {FormControl::Panel1, "Panel1", ControlKind::kPanel, FormControl::kNone, 8, 32, 345, 29, "",
     true, false},
    {FormControl::Label3, "Label3", ControlKind::kLabel, FormControl::Panel1, 8, 8, 36, 12,
     "用户名", true, false},
    {FormControl::Edit1, "Edit1", ControlKind::kEdit, FormControl::Panel1, 50, 5, 47, 20, "sa",
     true, false},
    {FormControl::Label4, "Label4", ControlKind::kLabel, FormControl::Panel1, 126, 9, 24, 12,
     "密码", true, false},
    {FormControl::Edit2, "Edit2", ControlKind::kEdit, FormControl::Panel1, 159, 5, 162, 20, "",
     true, false},
    // The status line.
    {FormControl::Label1, "Label1", ControlKind::kLabel, FormControl::kNone, 16, 64, kSizedToText,
     12, "", true, false},
    // Hidden until a run shows it.
    {FormControl::ProgressBar1, "ProgressBar1", ControlKind::kProgressBar, FormControl::kNone, 24,
     80, 305, 16, "", false, false},
    {FormControl::Button1, "Button1", ControlKind::kPushButton, FormControl::kNone, 144, 124, 75,
     25, "升级", true, false},
    {FormControl::Button2, "Button2", ControlKind::kPushButton, FormControl::kNone, 232, 124, 89,
     25, "选择数据文件", true, false},
    // The notice, drawn in pure red.
    {FormControl::Label2, "Label2", ControlKind::kLabel, FormControl::kNone, 56, 152, 270, 12,
     "2005.07.005以前版本升级时间稍长,请耐心等候...", true, false},
};

// The window itself: its caption, and its outer size and place on the screen at 96 dpi.
inline constexpr char kFormCaption[] = "数据升级";
inline constexpr int kFormLeft = 465, kFormTop = 250, kFormOuterWidth = 371, kFormOuterHeight = 199;

}  // namespace app
