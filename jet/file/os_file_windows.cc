// Windows implementation of OsFile: positioned ReadFile/WriteFile, FlushFileBuffers, and
// share modes for the connection lock. A writer opens sharing reads only, which denies every
// other writer: a second upgrade, or the customer-relationship application, which opens its
// data file for reading and writing. Readers share reads only too, so a writer cannot start
// under them. Paths reach CreateFileW as UTF-16, whatever the system code page.
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX  // windows.h must not define min and max over std::min and std::max
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/file/os_file.h"

namespace jet {
namespace {

IoFaultHook* g_fault_hook = nullptr;

// The system's own description of an error, in the language of the Windows it runs on.
std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide(text ? text : L"", text ? length : 0);
  if (text) ::LocalFree(text);
  while (!wide.empty() &&
         std::wstring_view(L" \r\n.\u3002").find(wide.back()) != std::wstring_view::npos) {
    wide.pop_back();
  }
  std::string message;
  if (!wide.empty()) {
    const int size = static_cast<int>(wide.size());
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    message.resize(static_cast<size_t>(bytes));
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, message.data(), bytes, nullptr, nullptr);
  }
  return message;
}

// `failed` says what could not be done; the errors a user can act on get their own words.
[[noreturn]] void ThrowIo(const std::filesystem::path& path, Problem failed, DWORD error) {
  Problem problem = failed;
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
    problem = Problem::kFileInUse;
  }
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
      error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH) {
    problem = Problem::kFileNotFound;
  }
  if (error == ERROR_ACCESS_DENIED) problem = Problem::kAccessDenied;
  if (error == ERROR_WRITE_PROTECT) problem = Problem::kFileReadOnly;
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) problem = Problem::kDiskFull;
  throw JetError(problem, {.file = base::PathToUtf8(path),
                           .detail = SystemMessage(error),
                           .number = static_cast<uint64_t>(error)});
}

void CheckHook(const std::filesystem::path& path, IoOperation op, Problem action,
               uint64_t size = 0) {
  if (g_fault_hook && !g_fault_hook->BeforeOperation(path, op, size)) {
    ThrowIo(path, action, ERROR_WRITE_FAULT);
  }
}

HANDLE AsHandle(void* h) {
  return static_cast<HANDLE>(h);
}

[[noreturn]] void ThrowNotARegularFile(const std::filesystem::path& path) {
  throw JetError(Problem::kNotAFile, {.file = base::PathToUtf8(path)});
}

void Resize(HANDLE h, const std::filesystem::path& path, uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end)) {
    ThrowIo(path, Problem::kCannotResize, ::GetLastError());
  }
}

}  // namespace

void SetIoFaultHook(IoFaultHook* hook) {
  g_fault_hook = hook;
}

OsFile::OsFile(const std::filesystem::path& path, Access access, Lock lock) : path_(path) {
  DWORD desired = GENERIC_READ | (access == Access::kReadWrite ? GENERIC_WRITE : 0);
  DWORD share = lock == Lock::kNone ? (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
                                    : FILE_SHARE_READ;
  HANDLE h = ::CreateFileW(path.c_str(), desired, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = ::GetLastError();
    // Opening a directory fails as "access denied"; say what is really wrong.
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      ThrowNotARegularFile(path);
    }
    ThrowIo(path, Problem::kCannotOpen, error);
  }
  // A device name (CON, NUL, COM1) opens too, but holds no database.
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    ThrowNotARegularFile(path);
  }
  handle_ = h;
}

OsFile OsFile::Create(const std::filesystem::path& path) {
  CheckHook(path, IoOperation::kCreate, Problem::kCannotCreate);
  OsFile f;
  f.path_ = path;
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowIo(path, Problem::kCannotCreate, ::GetLastError());
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
  if (!::GetFileSizeEx(AsHandle(handle_), &size))
    ThrowIo(path_, Problem::kCannotRead, ::GetLastError());
  return static_cast<uint64_t>(size.QuadPart);
}

void OsFile::ReadAt(uint64_t offset, std::span<uint8_t> data) const {
  if (g_fault_hook && !g_fault_hook->BeforeRead(path_, offset, data.size())) {
    ThrowIo(path_, Problem::kCannotRead, ERROR_READ_FAULT);
  }
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
      if (error == ERROR_HANDLE_EOF)
        ThrowCorrupt(Problem::kDamagedFileEnd, {.file = base::PathToUtf8(path_)});
      ThrowIo(path_, Problem::kCannotRead, error);
    }
    if (got == 0) ThrowCorrupt(Problem::kDamagedFileEnd, {.file = base::PathToUtf8(path_)});
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
    if (!::WriteFile(AsHandle(handle_), data.data() + done, want, &put, &at)) {
      ThrowIo(path_, Problem::kCannotWrite, ::GetLastError());
    }
    if (put == 0) ThrowIo(path_, Problem::kCannotWrite, ERROR_DISK_FULL);
    done += put;
  }
  if (allowed < data.size()) ThrowIo(path_, Problem::kCannotWrite, ERROR_DISK_FULL);
}

void OsFile::Truncate(uint64_t size) {
  CheckHook(path_, IoOperation::kResize, Problem::kCannotResize, size);
  Resize(AsHandle(handle_), path_, size);
}

void OsFile::Sync() {
  CheckHook(path_, IoOperation::kFlush, Problem::kCannotFlush);
  if (!::FlushFileBuffers(AsHandle(handle_)))
    ThrowIo(path_, Problem::kCannotFlush, ::GetLastError());
}

// Windows gives no handle on a directory to flush. NTFS records a new file's name in its
// metadata log, which FlushFileBuffers on that file forces to disk up to and including the
// creation, so a created file that was flushed keeps its name after a power cut. The hook
// still hears of it, as the point from which such names count as durable.
void SyncDirectoryOf(const std::filesystem::path& path) {
  if (g_fault_hook) g_fault_hook->BeforeOperation(path, IoOperation::kFlushDirectory, 0);
}

void RemoveFile(const std::filesystem::path& path) {
  CheckHook(path, IoOperation::kRemove, Problem::kCannotRemove);
  if (!::DeleteFileW(path.c_str())) {
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      ThrowIo(path, Problem::kCannotRemove, error);
    }
  }
}

// A removal, though, is durable only once some later flush of the volume's log happens to
// carry it, and nothing here can force that. So the file is first cut to nothing: should a
// power cut bring its name back, it comes back empty, and an empty journal is never taken
// for a hot one. Emptying a journal is therefore the commit point; what follows (flushing
// the empty file, removing it) is not reported when it fails, as a directory flush is not
// on POSIX: the commit stands, and the next open drops an empty journal it finds.
void RemoveFileDurably(const std::filesystem::path& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    ThrowIo(path, Problem::kCannotRemove, error);
  }
  try {
    CheckHook(path, IoOperation::kResize, Problem::kCannotRemove, 0);
    Resize(h, path, 0);
  } catch (...) {
    ::CloseHandle(h);
    throw;
  }
  if (!g_fault_hook || g_fault_hook->BeforeOperation(path, IoOperation::kFlush, 0)) {
    ::FlushFileBuffers(h);
  }
  ::CloseHandle(h);
  if (!g_fault_hook || g_fault_hook->BeforeOperation(path, IoOperation::kRemove, 0)) {
    ::DeleteFileW(path.c_str());
  }
}

}  // namespace jet

#endif  // _WIN32
