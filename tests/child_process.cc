#include "tests/child_process.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // windows.h must not define min and max over std::min and std::max
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <filesystem>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

extern char** environ;
#endif

#include "tests/test_support.h"

namespace testing_support {

#ifdef _WIN32

namespace {

// The exit code TerminateProcess gives a killed process, so Wait() can tell it apart.
constexpr UINT kKilledExitCode = 0x4B494C4C;

std::wstring Wide(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string line = ShellQuote(program);
  for (const auto& a : args) line += " " + ShellQuote(a);
  std::wstring command = Wide(line);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE null =
      ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
  PROCESS_INFORMATION info{};
  // No console at all (DETACHED_PROCESS), not a hidden one (CREATE_NO_WINDOW): under Wine a
  // hidden console is a conhost.exe of its own, holding the test's output as its own; one
  // can outlive a killed child, and ctest then waits for that output to end until its
  // timeout.
  BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                                  nullptr, nullptr, &startup, &info);
  DWORD error = ::GetLastError();
  ::CloseHandle(null);
  if (!started) {
    ADD_FAILURE() << "cannot start " << program << ": error " << error;
    waited_ = true;
    status_ = 127;
    return;
  }
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
}

ChildProcess::~ChildProcess() {
  if (!process_) return;
  Kill();
  Wait();
  ::CloseHandle(process_);
}

void ChildProcess::Kill() {
  if (process_ && !waited_) ::TerminateProcess(process_, kKilledExitCode);
}

int ChildProcess::Wait() {
  if (waited_) return status_;
  ::WaitForSingleObject(process_, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  waited_ = true;
  status_ = code == kKilledExitCode ? kKilled : static_cast<int>(code);
  return status_;
}

#else

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> strings = {program};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  int error = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    ADD_FAILURE() << "cannot start " << program << ": error " << error;
    pid_ = -1;
    waited_ = true;
    status_ = 127;
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ < 0) return;
  Kill();
  Wait();
}

void ChildProcess::Kill() {
  if (pid_ >= 0 && !waited_) ::kill(pid_, SIGKILL);
}

int ChildProcess::Wait() {
  if (waited_) return status_;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  waited_ = true;
  status_ = WIFSIGNALED(status) ? kKilled : WEXITSTATUS(status);
  return status_;
}

#endif

}  // namespace testing_support
