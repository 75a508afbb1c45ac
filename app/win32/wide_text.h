// UTF-8 text (the behaviour's) to and from UTF-16 (the W functions').
#pragma once

#include <string>
#include <string_view>

namespace app::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace app::win32
