// The operating-system file under the pager: positioned reads and writes, flush, size, and
// the lock a connection holds. Nothing above jet/file touches the OS.
//
// The lock: a writing connection holds the file exclusively (flock LOCK_EX on POSIX; on
// Windows the file is opened sharing reads only, so nobody else can write), a reading one
// shares it with other readers (LOCK_SH; Windows: sharing reads only). A second writer
// gets kInUse.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace jet {

// Tests install a hook to simulate a crash or a full disk at a chosen operation, or to model
// what a disk with a volatile cache keeps. A hook may let part of a write through (a torn
// write) before failing it.
enum class IoOperation {
  kCreate,          // a file is created (or truncated to nothing) by name
  kFlush,           // a file's written data is flushed to the disk
  kResize,          // a file is cut or extended to `size`
  kRemove,          // a file is removed by name
  kFlushDirectory,  // a directory is flushed, making the names created or removed in it durable
};

class IoFaultHook {
 public:
  virtual ~IoFaultHook() = default;
  // Returns how many bytes of `data`, to be written at `offset` of `path`, may be written;
  // fewer than all makes the write fail after writing that many.
  virtual size_t BeforeWrite(const std::filesystem::path& path, uint64_t offset,
                             std::span<const uint8_t> data) = 0;
  // Returns false to make the operation fail. `path` is the file (for kFlushDirectory, a
  // file in the directory); `size` is the new size for kResize, else 0.
  virtual bool BeforeOperation(const std::filesystem::path& path, IoOperation op,
                               uint64_t size) = 0;
  // Returns false to make a read of `size` bytes at `offset` fail (an I/O error).
  virtual bool BeforeRead(const std::filesystem::path& path, uint64_t offset, size_t size) {
    (void)path;
    (void)offset;
    (void)size;
    return true;
  }
};
void SetIoFaultHook(IoFaultHook* hook);  // nullptr removes it

class OsFile {
 public:
  enum class Access { kRead, kReadWrite };
  enum class Lock { kNone, kShared, kExclusive };

  // Opens an existing file. Throws JetError kNotFound, kReadOnly, kIo, or kInUse when the
  // lock cannot be taken because another connection holds the file.
  OsFile(const std::filesystem::path& path, Access access, Lock lock);
  // Creates (or truncates) a file for writing.
  static OsFile Create(const std::filesystem::path& path);
  ~OsFile();
  OsFile(OsFile&& other) noexcept;
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
  OsFile() = default;
  std::filesystem::path path_;
#ifdef _WIN32
  void* handle_ = reinterpret_cast<void*>(-1);  // INVALID_HANDLE_VALUE
#else
  int fd_ = -1;
#endif
};

// Removes a file and makes the removal durable by flushing its directory. Where no directory
// can be flushed (Windows), it empties the file and flushes it first instead, so that a
// removal a crash undoes leaves an empty file; failures after the file is empty are not
// reported.
void RemoveFileDurably(const std::filesystem::path& path);
// Removes a file without making the removal durable: for a file whose coming back after a
// crash does no harm (an empty journal).
void RemoveFile(const std::filesystem::path& path);
// Flushes a directory so that a file created or removed in it survives a crash. On Windows a
// created file's name is made durable by flushing the file itself.
void SyncDirectoryOf(const std::filesystem::path& path);

}  // namespace jet
