// Paths as UTF-8 text. A file name travels through the program as UTF-8 (the command line,
// a connection string, the IN clause of a statement, every message); it becomes a path, and
// a path becomes text, only through these two functions.
//
// Why not std::filesystem::path(std::string) and path.string(): on Windows those read and
// write the narrow text in the system's code page, not UTF-8, so a folder such as
// "D:\客户 数据" turns into question marks (or an exception) on the way to CreateFileW.
// Through char8_t the conversion is UTF-8 <-> UTF-16 there, and no conversion on POSIX.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace base {

std::filesystem::path PathFromUtf8(std::string_view text);
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace base
