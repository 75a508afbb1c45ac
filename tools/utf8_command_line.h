// The command line as UTF-8 text on every platform, for main() to parse as usual.
//
// POSIX hands main() the bytes as typed, UTF-8 on any current system. Windows hands it the
// arguments converted to the ANSI code page, where a path such as "D:\客户 数据\sys\Custom.sys"
// arrives as "D:\?? ??\sys\Custom.sys" unless that code page holds every character; the wide
// command line holds them all, so on Windows the arguments are taken from it instead.
#pragma once

#include <string>
#include <vector>

class Utf8CommandLine {
 public:
  Utf8CommandLine(int argc, char** argv);
  Utf8CommandLine(const Utf8CommandLine&) = delete;
  Utf8CommandLine& operator=(const Utf8CommandLine&) = delete;

  int argc() const { return static_cast<int>(args_.size()); }
  // Like main's argv: argc() arguments, then a null pointer. Valid while this object lives.
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> args_;
  std::vector<char*> pointers_;
};
