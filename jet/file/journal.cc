#include "jet/file/journal.h"

#include <cstring>
#include <string>

#include "jet/error.h"
#include "jet/file/os_file.h"
#include "jet/format/bytes.h"
#include "jet/format/page_size.h"

namespace jet {
namespace {

constexpr char kMagic[8] = {'J', 'E', 'T', 'J', 'R', 'N', 'L', '1'};
constexpr size_t kHeaderSize = 32;
constexpr size_t kRecordSize = 4 + kPageSize;

uint64_t Checksum(const uint8_t* data, size_t size) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (size_t i = 0; i < size; ++i) {
    h ^= data[i];
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

std::filesystem::path JournalPathFor(const std::filesystem::path& database) {
  std::filesystem::path p = database;
  p += "-journal";
  return p;
}

bool JournalExists(const std::filesystem::path& database) {
  std::error_code ec;
  return std::filesystem::exists(JournalPathFor(database), ec);
}

void WriteJournal(const std::filesystem::path& database, uint32_t original_page_count,
                  const std::vector<JournalRecord>& records) {
  std::vector<uint8_t> buffer(kHeaderSize + records.size() * kRecordSize);
  uint8_t* body = buffer.data() + kHeaderSize;
  for (size_t i = 0; i < records.size(); ++i) {
    PutU32(body + i * kRecordSize, records[i].page);
    std::memcpy(body + i * kRecordSize + 4, records[i].bytes.data(), kPageSize);
  }
  std::memcpy(buffer.data(), kMagic, 8);
  PutU32(buffer.data() + 8, kPageSize);
  PutU32(buffer.data() + 12, original_page_count);
  PutU32(buffer.data() + 16, static_cast<uint32_t>(records.size()));
  PutU64(buffer.data() + 24, Checksum(body, records.size() * kRecordSize));

  std::filesystem::path path = JournalPathFor(database);
  OsFile journal = OsFile::Create(path);
  journal.WriteAt(0, buffer);
  journal.Sync();
  SyncDirectoryOf(path);
}

bool RecoverFromJournal(OsFile& file) {
  std::filesystem::path path = JournalPathFor(file.path());
  if (!JournalExists(file.path())) return false;
  std::vector<uint8_t> buffer;
  {
    OsFile journal(path, OsFile::Access::kRead, OsFile::Lock::kNone);
    buffer.resize(journal.Size());
    if (!buffer.empty()) journal.ReadAt(0, buffer);
  }
  bool hot = false;
  uint32_t original_pages = 0, count = 0;
  if (buffer.size() >= kHeaderSize && std::memcmp(buffer.data(), kMagic, 8) == 0) {
    ByteView v(buffer.data(), buffer.size());
    original_pages = v.U32(12);
    count = v.U32(16);
    hot = v.U32(8) == kPageSize && buffer.size() == kHeaderSize + size_t{count} * kRecordSize &&
          v.U64(24) == Checksum(buffer.data() + kHeaderSize, size_t{count} * kRecordSize);
  }
  if (hot) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* record = buffer.data() + kHeaderSize + size_t{i} * kRecordSize;
      uint32_t page = ByteView(record, 4).U32(0);
      file.WriteAt(uint64_t{page} * kPageSize, std::span<const uint8_t>(record + 4, kPageSize));
    }
    file.Truncate(uint64_t{original_pages} * kPageSize);
    file.Sync();
  }
  RemoveFileDurably(path);
  return hot;
}

}  // namespace jet
