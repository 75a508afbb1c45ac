// POSIX implementation of OsFile: pread/pwrite, fsync, and flock for the connection lock.
#ifndef _WIN32

#include "jet/file/os_file.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/utf8_path.h"
#include "jet/error.h"

namespace jet {
namespace {

IoFaultHook* g_fault_hook = nullptr;

// `failed` says what could not be done; the errors a user can act on get their own words.
[[noreturn]] void ThrowIo(const std::filesystem::path& path, Problem failed, int error) {
  Problem problem = failed;
  if (error == ENOENT || error == ENOTDIR) problem = Problem::kFileNotFound;
  if (error == EACCES || error == EPERM) problem = Problem::kAccessDenied;
  if (error == EROFS) problem = Problem::kFileReadOnly;
  if (error == ENOSPC || error == EDQUOT || error == EFBIG) problem = Problem::kDiskFull;
  throw JetError(problem, {.file = base::PathToUtf8(path), .number = static_cast<uint64_t>(error)});
}

void CheckHook(const std::filesystem::path& path, IoOperation op, Problem action,
               uint64_t size = 0) {
  if (g_fault_hook && !g_fault_hook->BeforeOperation(path, op, size)) ThrowIo(path, action, EIO);
}

}  // namespace

void SetIoFaultHook(IoFaultHook* hook) {
  g_fault_hook = hook;
}

OsFile::OsFile(const std::filesystem::path& path, Access access, Lock lock) : path_(path) {
  // Non-blocking only while it is checked: opening a pipe nobody writes to would otherwise
  // wait for a writer.
  int flags = (access == Access::kReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
  fd_ = ::open(path.c_str(), flags);
  if (fd_ < 0 && errno == EISDIR)
    throw JetError(Problem::kNotAFile, {.file = base::PathToUtf8(path)});
  if (fd_ < 0) ThrowIo(path, Problem::kCannotOpen, errno);
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw JetError(Problem::kNotAFile, {.file = base::PathToUtf8(path)});
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  if (lock != Lock::kNone) {
    int op = (lock == Lock::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (::flock(fd_, op) != 0) {
      int error = errno;
      ::close(fd_);
      fd_ = -1;
      if (error == EWOULDBLOCK) {
        throw JetError(Problem::kFileInUse, {.file = base::PathToUtf8(path)});
      }
      ThrowIo(path, Problem::kCannotLock, error);
    }
  }
}

OsFile OsFile::Create(const std::filesystem::path& path) {
  CheckHook(path, IoOperation::kCreate, Problem::kCannotCreate);
  OsFile f;
  f.path_ = path;
  f.fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (f.fd_ < 0) ThrowIo(path, Problem::kCannotCreate, errno);
  return f;
}

OsFile::OsFile(OsFile&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) {
  other.fd_ = -1;
}

OsFile::~OsFile() {
  if (fd_ >= 0) ::close(fd_);
}

uint64_t OsFile::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) ThrowIo(path_, Problem::kCannotRead, errno);
  return static_cast<uint64_t>(st.st_size);
}

void OsFile::ReadAt(uint64_t offset, std::span<uint8_t> data) const {
  if (g_fault_hook && !g_fault_hook->BeforeRead(path_, offset, data.size())) {
    ThrowIo(path_, Problem::kCannotRead, EIO);
  }
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n =
        ::pread(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowIo(path_, Problem::kCannotRead, errno);
    if (n == 0) ThrowCorrupt(Problem::kDamagedFileEnd, {.file = base::PathToUtf8(path_)});
    done += static_cast<size_t>(n);
  }
}

void OsFile::WriteAt(uint64_t offset, std::span<const uint8_t> data) {
  size_t allowed = data.size();
  if (g_fault_hook) allowed = std::min(data.size(), g_fault_hook->BeforeWrite(path_, offset, data));
  size_t done = 0;
  while (done < allowed) {
    ssize_t n =
        ::pwrite(fd_, data.data() + done, allowed - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowIo(path_, Problem::kCannotWrite, n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  if (allowed < data.size()) ThrowIo(path_, Problem::kCannotWrite, ENOSPC);
}

void OsFile::Truncate(uint64_t size) {
  CheckHook(path_, IoOperation::kResize, Problem::kCannotResize, size);
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
    ThrowIo(path_, Problem::kCannotResize, errno);
}

void OsFile::Sync() {
  CheckHook(path_, IoOperation::kFlush, Problem::kCannotFlush);
  if (::fsync(fd_) != 0) ThrowIo(path_, Problem::kCannotFlush, errno);
}

void SyncDirectoryOf(const std::filesystem::path& path) {
  // Failures to flush a directory are not reported (some file systems refuse it), so a
  // hook can only make the flush not happen.
  if (g_fault_hook && !g_fault_hook->BeforeOperation(path, IoOperation::kFlushDirectory, 0)) return;
  std::filesystem::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // some file systems do not allow it; the file flush still holds
  ::fsync(fd);
  ::close(fd);
}

void RemoveFile(const std::filesystem::path& path) {
  CheckHook(path, IoOperation::kRemove, Problem::kCannotRemove);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowIo(path, Problem::kCannotRemove, errno);
}

void RemoveFileDurably(const std::filesystem::path& path) {
  CheckHook(path, IoOperation::kRemove, Problem::kCannotRemove);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowIo(path, Problem::kCannotRemove, errno);
  SyncDirectoryOf(path);
}

}  // namespace jet

#endif  // _WIN32
