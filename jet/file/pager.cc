#include "jet/file/pager.h"

#include <string>

#include "jet/error.h"
#include "jet/format/rc4.h"

namespace jet {

Pager::Pager(const std::filesystem::path& path, Mode mode)
    : file_(path, mode == Mode::kReadWrite ? OsFile::Access::kReadWrite : OsFile::Access::kRead,
            mode == Mode::kReadWrite),
      mode_(mode) {
  uint64_t size = file_.Size();
  PageBuffer first{};
  if (size < 0x20) {
    throw JetError(ErrorKind::kUnsupported,
                   "'" + path.string() + "' is not a Jet 4 database (the file is too short)");
  }
  file_.ReadAt(0, std::span<uint8_t>(first.data(), size < kPageSize ? size : kPageSize));
  switch (DetectFormat(ByteView(first.data(), first.size()))) {
    case FileFormat::kJet4:
      break;
    case FileFormat::kJet3:
      throw JetError(ErrorKind::kUnsupported,
                     "unsupported format: '" + path.string() +
                         "' is a Jet 3 (Access 97) database; only Jet 4 files are supported");
    case FileFormat::kAce:
      throw JetError(ErrorKind::kUnsupported,
                     "unsupported format: '" + path.string() +
                         "' is an ACE (Access 2007 or later) database; only Jet 4 files are supported");
    case FileFormat::kUnknown:
      throw JetError(ErrorKind::kUnsupported,
                     "unsupported format: '" + path.string() + "' is not a Jet database");
  }
  if (size < 3 * kPageSize) ThrowCorrupt("the file is too short to hold a catalog");
  if (size > uint64_t{0xFFFFFF} * kPageSize) ThrowCorrupt("the file is larger than Jet allows");
  // A trailing partial page cannot belong to the database; Jet always writes whole pages.
  page_count_ = static_cast<uint32_t>(size / kPageSize);
  header_ = DecodeDatabaseHeader(ByteView(first.data(), first.size()));
  cache_.emplace(0, std::make_unique<PageBuffer>(first));
}

ByteView Pager::Page(uint32_t n) {
  auto it = cache_.find(n);
  if (it != cache_.end()) return ByteView(it->second->data(), kPageSize);
  if (n >= page_count_) {
    ThrowCorrupt("page " + std::to_string(n) + " is past the end of the file (" +
                 std::to_string(page_count_) + " pages)");
  }
  auto buffer = std::make_unique<PageBuffer>();
  file_.ReadAt(uint64_t{n} * kPageSize, *buffer);
  bytes_read_ += kPageSize;
  if (header_.database_key != 0 && n != 0) ApplyPageCipher(header_.database_key, n, *buffer);
  ByteView view(buffer->data(), kPageSize);
  cache_.emplace(n, std::move(buffer));
  return view;
}

}  // namespace jet
