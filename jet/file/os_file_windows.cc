// Windows implementation of OsFile: positioned ReadFile/WriteFile, FlushFileBuffers, and
// share modes for the connection lock (a writer opens sharing reads only, which denies
// every other writer; readers do the same, so a writer cannot start under them).
#ifdef _WIN32

#include <windows.h>

#include <string>

#include "jet/error.h"
#include "jet/file/os_file.h"

#include <algorithm>
namespace jet {
namespace {

IoFaultHook* g_fault_hook = nullptr;

std::string Describe(const std::filesystem::path& path, const char* action, DWORD error) {
  return std::string("cannot ") + action + " '" + path.string() + "': system error " +
         std::to_string(error);
}

[[noreturn]] void ThrowIo(const std::filesystem::path& path, const char* action, DWORD error) {
  ErrorKind kind = ErrorKind::kIo;
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) kind = ErrorKind::kNotFound;
  if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) kind = ErrorKind::kReadOnly;
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
    throw JetError(ErrorKind::kInUse, "'" + path.string() + "' is in use by another program");
  }
  throw JetError(kind, Describe(path, action, error));
}

void CheckHook(const std::filesystem::path& path, IoOperation op, const char* action,
               uint64_t size = 0) {
  if (g_fault_hook && !g_fault_hook->BeforeOperation(path, op, size)) ThrowIo(path, action, ERROR_WRITE_FAULT);
}

HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }

}  // namespace

void SetIoFaultHook(IoFaultHook* hook) { g_fault_hook = hook; }

OsFile::OsFile(const std::filesystem::path& path, Access access, Lock lock) : path_(path) {
  DWORD desired = GENERIC_READ | (access == Access::kReadWrite ? GENERIC_WRITE : 0);
  DWORD share = lock == Lock::kNone ? (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
                                    : FILE_SHARE_READ;
  HANDLE h = ::CreateFileW(path.c_str(), desired, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowIo(path, "open", ::GetLastError());
  handle_ = h;
}

OsFile OsFile::Create(const std::filesystem::path& path) {
  CheckHook(path, IoOperation::kCreate, "create");
  OsFile f;
  f.path_ = path;
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowIo(path, "create", ::GetLastError());
  f.handle_ = h;
  return f;
}

OsFile::OsFile(OsFile&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_) {
  other.handle_ = INVALID_HANDLE_VALUE;
}

OsFile::~OsFile() {
  if (AsHandle(handle_) != INVALID_HANDLE_VALUE) ::CloseHandle(AsHandle(handle_));
}

uint64_t OsFile::Size() const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(AsHandle(handle_), &size)) ThrowIo(path_, "stat", ::GetLastError());
  return static_cast<uint64_t>(size.QuadPart);
}

void OsFile::ReadAt(uint64_t offset, std::span<uint8_t> data) const {
  size_t done = 0;
  while (done < data.size()) {
    OVERLAPPED at{};
    uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD want = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1 << 30));
    DWORD got = 0;
    if (!::ReadFile(AsHandle(handle_), data.data() + done, want, &got, &at)) {
      DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF) ThrowCorrupt("the file ends in the middle of a page");
      ThrowIo(path_, "read", error);
    }
    if (got == 0) ThrowCorrupt("the file ends in the middle of a page");
    done += got;
  }
}

void OsFile::WriteAt(uint64_t offset, std::span<const uint8_t> data) {
  size_t allowed = data.size();
  if (g_fault_hook) allowed = std::min(data.size(), g_fault_hook->BeforeWrite(path_, offset, data));
  size_t done = 0;
  while (done < allowed) {
    OVERLAPPED at{};
    uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD want = static_cast<DWORD>(std::min<size_t>(allowed - done, 1 << 30));
    DWORD put = 0;
    if (!::WriteFile(AsHandle(handle_), data.data() + done, want, &put, &at) || put == 0) {
      ThrowIo(path_, "write", ::GetLastError());
    }
    done += put;
  }
  if (allowed < data.size()) ThrowIo(path_, "write", ERROR_DISK_FULL);
}

void OsFile::Truncate(uint64_t size) {
  CheckHook(path_, IoOperation::kResize, "resize", size);
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFileInformationByHandle(AsHandle(handle_), FileEndOfFileInfo, &end, sizeof end)) {
    ThrowIo(path_, "resize", ::GetLastError());
  }
}

void OsFile::Sync() {
  CheckHook(path_, IoOperation::kFlush, "flush");
  if (!::FlushFileBuffers(AsHandle(handle_))) ThrowIo(path_, "flush", ::GetLastError());
}

// NTFS makes directory entries durable with the file's own metadata; nothing to flush.
void SyncDirectoryOf(const std::filesystem::path& path) {
  // Failures to flush a directory are not reported (some file systems refuse it), so a
  // hook can only make the flush not happen.
  if (g_fault_hook && !g_fault_hook->BeforeOperation(path, IoOperation::kFlushDirectory, 0)) return;
}

void RemoveFileDurably(const std::filesystem::path& path) {
  CheckHook(path, IoOperation::kRemove, "remove");
  if (!::DeleteFileW(path.c_str())) {
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) ThrowIo(path, "remove", error);
  }
}

}  // namespace jet

#endif  // _WIN32
