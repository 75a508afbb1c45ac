// The Win32 skin's own share: OD as the structure GetOpenFileNameW is given, the error
// box's style, and the UTF-8/UTF-16 conversion every text goes through. The window itself
// is driven live under Wine by app/win32_window_test.sh.
#include <gtest/gtest.h>

#include <string>

#include "app/win32/error_box.h"
#include "app/win32/open_dialog.h"
#include "app/win32/wide_text.h"

namespace {

using app::win32::Utf8;
using app::win32::Wide;

TEST(Win32SkinTest, TheOpenDialogHasOneDataFileEntryTheDefaultExtensionAndNoReadOnlyBox) {
  app::win32::OpenDialogBuffers buffers;
  const OPENFILENAMEW ofn =
      app::win32::OpenFileNameFor(app::OpenDialogSettings{}, nullptr, buffers);
  // "数据文件\0*.sys\0\0": the entry reads 数据文件.
  EXPECT_EQ(std::wstring(ofn.lpstrFilter, 12), std::wstring(L"数据文件\0*.sys\0\0", 12));
  EXPECT_EQ(ofn.nFilterIndex, 1u);
  ASSERT_NE(ofn.lpstrDefExt, nullptr);
  EXPECT_EQ(std::wstring(ofn.lpstrDefExt), L"sys");
  EXPECT_TRUE(ofn.Flags & OFN_HIDEREADONLY);
  EXPECT_TRUE(ofn.Flags & OFN_ENABLESIZING);
  EXPECT_TRUE(ofn.Flags & OFN_EXPLORER);
  // Any typed name reaches the open; one at a time.
  EXPECT_FALSE(ofn.Flags & (OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT));
  EXPECT_EQ(ofn.lpstrFile, buffers.file.data());
  EXPECT_GE(ofn.nMaxFile, 260u);
  EXPECT_EQ(ofn.lpstrFile[0], L'\0');
}

TEST(Win32SkinTest, TheErrorBoxHasTheErrorIconAndOneOkButton) {
  EXPECT_EQ(app::win32::kErrorBoxStyle & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(app::win32::kErrorBoxStyle & MB_TYPEMASK, static_cast<UINT>(MB_OK));
}

TEST(Win32SkinTest, TextRoundTripsBetweenUtf8AndUtf16) {
  const std::string text = "D:\\客户 数据\\sys\\Custom.sys 𠀀";
  EXPECT_EQ(Utf8(Wide(text)), text);
  EXPECT_EQ(Wide("数据升级"), L"数据升级");
  EXPECT_EQ(Wide(""), L"");
}

}  // namespace
