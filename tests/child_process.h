// A program the test starts and leaves running beside it: one that holds a file while the
// test works on it, or an upgrade to kill part-way through. Its output is discarded.
#pragma once

#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/types.h>
#endif

namespace testing_support {

class ChildProcess {
 public:
  // What Wait() returns for a process that Kill() ended.
  static constexpr int kKilled = -1;

  // Starts `program` with `args` (UTF-8); fails the test when it cannot start.
  ChildProcess(const std::string& program, const std::vector<std::string>& args);
  ~ChildProcess();  // kills the process if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Ends the process at once, as a power cut or the task manager would (SIGKILL,
  // TerminateProcess). Does nothing to a process that already ended.
  void Kill();
  // Waits for the process to end; returns its exit status, or kKilled.
  int Wait();

 private:
  bool waited_ = false;
  int status_ = 0;
#ifdef _WIN32
  void* process_ = nullptr;
#else
  pid_t pid_ = -1;
#endif
};

}  // namespace testing_support
