#include "upgrade/program_paths.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <vector>

namespace upgrade {

std::filesystem::path ExecutableDirectory() {
#ifdef _WIN32
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::filesystem::current_path();
    if (n < buffer.size())
      return std::filesystem::path(std::wstring(buffer.data(), n)).parent_path();
    buffer.resize(buffer.size() * 2);
  }
#else
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path();
  return exe.parent_path();
#endif
}

std::filesystem::path DefaultTemplatePath() {
  return ExecutableDirectory() / "my.sys";
}

std::filesystem::path DefaultDataFilePath() {
  return ExecutableDirectory() / "sys" / "Custom.sys";
}

}  // namespace upgrade
