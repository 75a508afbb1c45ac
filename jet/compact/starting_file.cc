#include "jet/compact/starting_file.h"

#include <chrono>
#include <vector>

#include "jet/file/os_file.h"
#include "jet/format/data_page.h"
#include "jet/format/database_header.h"
#include "jet/format/page_size.h"
#include "jet/format/rc4.h"
#include "jet/format/value.h"

namespace jet::compact {
namespace {

constexpr uint32_t kStartingPages = 3;
// The free-page map's bitmap, as a new engine file has it: files up to 32 MiB need no wider
// map; the allocator widens it past that.
constexpr size_t kFreeMapBitmapBytes = 1024;

std::vector<uint8_t> FreePageMapPage() {
  std::vector<uint8_t> map(5 + kFreeMapBitmapBytes, 0);
  for (size_t p = kStartingPages; p < kFreeMapBitmapBytes * 8; ++p) {
    map[5 + p / 8] |= static_cast<uint8_t>(1 << (p % 8));
  }
  // Access keeps a second, empty map beside the first.
  std::vector<uint8_t> spare(map.size(), 0);
  std::vector<uint8_t> page(kPageSize);
  InitDataPage(page, 1);
  AppendRowToPage(page, ByteView(map.data(), map.size()));
  AppendRowToPage(page, ByteView(spare.data(), spare.size()));
  return page;
}

}  // namespace

void WriteStartingFile(const std::filesystem::path& path, ByteView source_page0) {
  std::vector<uint8_t> header(source_page0.data(), source_page0.data() + kPageSize);
  DatabaseHeader h = DecodeDatabaseHeader(ByteView(header.data(), header.size()));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count() %
                  1000;
  h.creation_date = OleDateNow() + static_cast<double>(ms) / 86'400'000.0;
  EncodeDatabaseHeader(h, header);

  std::vector<std::vector<uint8_t>> pages = {header, FreePageMapPage(),
                                             std::vector<uint8_t>(kPageSize, 0)};
  OsFile file = OsFile::Create(path);
  for (uint32_t n = 0; n < pages.size(); ++n) {
    // Pages after the first are stored encoded when the database encodes its pages.
    if (n != 0 && h.database_key != 0) ApplyPageCipher(h.database_key, n, pages[n]);
    file.WriteAt(uint64_t{n} * kPageSize, pages[n]);
  }
  file.Sync();
}

}  // namespace jet::compact
