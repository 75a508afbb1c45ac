#include "jet/file/os_file.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "jet/error.h"

namespace jet {
namespace {

std::string Describe(const std::filesystem::path& path, const char* action) {
  return std::string("cannot ") + action + " '" + path.string() + "': " + std::strerror(errno);
}

}  // namespace

OsFile::OsFile(const std::filesystem::path& path, Access access, bool lock) : path_(path) {
  int flags = (access == Access::kReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  fd_ = ::open(path.c_str(), flags);
  if (fd_ < 0) {
    ErrorKind kind = errno == ENOENT || errno == ENOTDIR ? ErrorKind::kNotFound
                     : errno == EACCES || errno == EROFS ? ErrorKind::kReadOnly
                                                         : ErrorKind::kIo;
    throw JetError(kind, Describe(path, "open"));
  }
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    throw JetError(ErrorKind::kNotFound, "'" + path.string() + "' is not a regular file");
  }
  if (lock && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    bool busy = errno == EWOULDBLOCK;
    ::close(fd_);
    if (busy) throw JetError(ErrorKind::kInUse, "'" + path.string() + "' is in use by another program");
    throw JetError(ErrorKind::kIo, Describe(path, "lock"));
  }
}

OsFile::~OsFile() {
  if (fd_ >= 0) ::close(fd_);
}

uint64_t OsFile::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) throw JetError(ErrorKind::kIo, Describe(path_, "stat"));
  return static_cast<uint64_t>(st.st_size);
}

void OsFile::ReadAt(uint64_t offset, std::span<uint8_t> data) const {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::pread(fd_, data.data() + done, data.size() - done,
                        static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw JetError(ErrorKind::kIo, Describe(path_, "read"));
    if (n == 0) ThrowCorrupt("the file ends in the middle of a page");
    done += static_cast<size_t>(n);
  }
}

void OsFile::WriteAt(uint64_t offset, std::span<const uint8_t> data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done,
                         static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw JetError(ErrorKind::kIo, Describe(path_, "write"));
    done += static_cast<size_t>(n);
  }
}

void OsFile::Truncate(uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    throw JetError(ErrorKind::kIo, Describe(path_, "resize"));
  }
}

void OsFile::Sync() {
  if (::fsync(fd_) != 0) throw JetError(ErrorKind::kIo, Describe(path_, "flush"));
}

}  // namespace jet
