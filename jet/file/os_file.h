// The operating-system file under the pager: positioned reads and writes, flush, size, and
// the exclusive lock a writing connection holds. Nothing above jet/file touches the OS.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace jet {

class OsFile {
 public:
  enum class Access { kRead, kReadWrite };

  // Opens an existing file. Throws JetError kNotFound, kIo, or kInUse (when `lock` is set and
  // another process holds the file's lock).
  OsFile(const std::filesystem::path& path, Access access, bool lock);
  ~OsFile();
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;

  uint64_t Size() const;
  // Reads exactly data.size() bytes at `offset`; throws kCorrupt on a short read.
  void ReadAt(uint64_t offset, std::span<uint8_t> data) const;
  void WriteAt(uint64_t offset, std::span<const uint8_t> data);
  void Truncate(uint64_t size);
  void Sync();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
};

}  // namespace jet
