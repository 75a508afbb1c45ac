// hold_file: holds a data file open as another program would, for the locking tests.
//
//   hold_file writer|shared-writer FILE READY RELEASE
//
//   writer         as a writing connection of this engine (a second upgrade, jetdb sql)
//   shared-writer  as the customer-relationship application opens its data file: reading and
//                  writing, sharing both with other programs (Windows only)
//
// Once FILE is held it creates READY, then holds FILE until RELEASE exists (a minute at most).
// Exit status: 0 held and released, 3 FILE is in use by another program, 1 any other failure.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // windows.h must not define min and max over std::min and std::max
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/file/os_file.h"
#include "tools/utf8_command_line.h"

namespace {

constexpr int kInUse = 3;

void HoldUntilReleased(const std::filesystem::path& ready, const std::filesystem::path& release) {
  std::ofstream(ready).put('1');
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!std::filesystem::exists(release) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

int main(int argc, char** argv) {
  Utf8CommandLine command_line(argc, argv);
  if (command_line.argc() != 5) {
    std::cerr << "usage: hold_file writer|shared-writer FILE READY RELEASE\n";
    return 1;
  }
  const std::string mode = command_line.argv()[1];
  const auto file = base::PathFromUtf8(command_line.argv()[2]);
  const auto ready = base::PathFromUtf8(command_line.argv()[3]);
  const auto release = base::PathFromUtf8(command_line.argv()[4]);
  if (mode == "writer") {
    std::optional<jet::OsFile> held;
    try {
      held.emplace(file, jet::OsFile::Access::kReadWrite, jet::OsFile::Lock::kExclusive);
    } catch (const jet::JetError& e) {
      std::cerr << "hold_file: " << e.what() << '\n';
      return e.kind() == jet::ErrorKind::kInUse ? kInUse : 1;
    }
    HoldUntilReleased(ready, release);
    return 0;
  }
#ifdef _WIN32
  if (mode == "shared-writer") {
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      std::cerr << "hold_file: cannot open, error " << error << '\n';
      return error == ERROR_SHARING_VIOLATION ? kInUse : 1;
    }
    HoldUntilReleased(ready, release);
    ::CloseHandle(h);
    return 0;
  }
#endif
  std::cerr << "hold_file: unknown mode " << mode << '\n';
  return 1;
}
