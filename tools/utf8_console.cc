#include "tools/utf8_console.h"

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX  // windows.h must not define min and max over std::min and std::max
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>

namespace {

// Collects UTF-8 bytes and writes them to a console as UTF-16, holding back a character
// whose bytes have not all arrived yet.
class WideConsoleBuffer : public std::streambuf {
 public:
  explicit WideConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_.push_back(traits_type::to_char_type(c));
    if (pending_.size() >= 4096) WriteComplete();
    return c;
  }

  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<size_t>(n));
    if (pending_.size() >= 4096) WriteComplete();
    return n;
  }

  int sync() override {
    WriteComplete();
    return 0;
  }

 private:
  // Length of the longest prefix of pending_ that ends on a whole UTF-8 character.
  size_t CompleteLength() const {
    size_t end = pending_.size();
    for (size_t back = 1; back <= 3 && back <= end; ++back) {
      const auto byte = static_cast<unsigned char>(pending_[end - back]);
      if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
      const size_t needs = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      return needs > back ? end - back : end;
    }
    return end;
  }

  void WriteComplete() {
    const size_t length = CompleteLength();
    if (length == 0) return;
    const int size = static_cast<int>(length);
    const int wide_size = ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(wide_size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), size, wide.data(), wide_size);
    DWORD written = 0;
    ::WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    pending_.erase(0, length);
  }

  HANDLE console_;
  std::string pending_;
};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

void Route(std::ostream& stream, DWORD which) {
  HANDLE handle = ::GetStdHandle(which);
  if (!IsConsole(handle)) return;
  stream.flush();
  // Never freed: the streams are flushed at exit, after every destructor of ours has run.
  stream.rdbuf(new WideConsoleBuffer(handle));
}

}  // namespace

void UseUtf8Console() {
  ::SetConsoleOutputCP(CP_UTF8);
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  Route(std::cout, STD_OUTPUT_HANDLE);
  Route(std::cerr, STD_ERROR_HANDLE);
  Route(std::clog, STD_ERROR_HANDLE);
}

#else

void UseUtf8Console() {}

#endif
