#include "tools/utf8_command_line.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // windows.h must not define min and max over std::min and std::max
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>
#endif

namespace {

#ifdef _WIN32
std::string Utf8FromWide(const wchar_t* text) {
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size) - 1);  // the terminating null
  return out;
}
#endif

}  // namespace

Utf8CommandLine::Utf8CommandLine(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) args_.push_back(Utf8FromWide(wide[i]));
    ::LocalFree(wide);
  }
  // Should the wide command line be unavailable, the narrow one is still better than none.
  if (args_.empty()) args_.assign(argv, argv + argc);
#else
  args_.assign(argv, argv + argc);
#endif
  for (std::string& arg : args_) pointers_.push_back(arg.data());
  pointers_.push_back(nullptr);
}
