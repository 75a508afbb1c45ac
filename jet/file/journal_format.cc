#include "jet/file/journal_format.h"

#include <algorithm>
#include <cstring>

#include "jet/file/checksum.h"
#include "jet/format/bytes.h"

namespace jet {
namespace {

constexpr char kMagic[8] = {'J', 'e', 't', 'J', 'r', 'n', 'l', '2'};
constexpr char kOlderMagic[8] = {'J', 'E', 'T', 'J', 'R', 'N', 'L', '1'};
constexpr size_t kFixedHeader = 96;
constexpr size_t kHeaderChecksumAt = 88;
constexpr size_t kEntrySize = 48;
constexpr uint32_t kExisted = 1;

// The header's checksum covers all of it but its own field.
uint64_t HeaderChecksum(std::span<const uint8_t> header) {
  std::vector<uint8_t> copy(header.begin(), header.end());
  std::fill(copy.begin() + kHeaderChecksumAt, copy.begin() + kHeaderChecksumAt + 8, 0);
  return Checksum64(copy, 0x4a524e4c);
}

}  // namespace

DatabaseIdentity IdentityOf(const DatabaseHeader& header) {
  DatabaseIdentity id;
  std::memcpy(&id.creation_date_bits, &header.creation_date, 8);
  id.database_key = header.database_key;
  id.code_page = header.code_page;
  return id;
}

uint64_t PageChecksum(uint32_t page, std::span<const uint8_t> bytes) {
  return Checksum64(bytes, page);
}

uint32_t SectorChecksum(uint32_t page, size_t sector, std::span<const uint8_t> bytes) {
  return static_cast<uint32_t>(Checksum64(bytes, (uint64_t{page} << 8) | sector));
}

std::array<uint32_t, kSectorsPerPage> SectorChecksums(uint32_t page,
                                                      std::span<const uint8_t> bytes) {
  std::array<uint32_t, kSectorsPerPage> sums{};
  for (size_t s = 0; s < kSectorsPerPage; ++s) {
    sums[s] = SectorChecksum(page, s, bytes.subspan(s * kSectorSize, kSectorSize));
  }
  return sums;
}

std::vector<uint8_t> EncodeJournal(const JournalHeader& header,
                                   const std::vector<JournalPage>& pages,
                                   std::span<const uint8_t> originals) {
  const size_t name_size = std::min<size_t>(header.database_name.size(), 0xFFFF);
  const size_t header_size = kFixedHeader + name_size;
  const size_t existed = originals.size() / kPageSize;
  std::vector<uint8_t> out(header_size + pages.size() * kEntrySize + originals.size());

  uint8_t* list = out.data() + header_size;
  for (size_t i = 0; i < pages.size(); ++i) {
    uint8_t* e = list + i * kEntrySize;
    PutU32(e, pages[i].page);
    PutU32(e + 4, pages[i].existed ? kExisted : 0);
    PutU64(e + 8, pages[i].original_checksum);
    for (size_t s = 0; s < kSectorsPerPage; ++s) PutU32(e + 16 + 4 * s, pages[i].new_sectors[s]);
  }
  uint8_t* body = list + pages.size() * kEntrySize;
  if (!originals.empty()) std::memcpy(body, originals.data(), originals.size());

  uint8_t* h = out.data();
  std::memcpy(h, kMagic, 8);
  PutU32(h + 8, static_cast<uint32_t>(header_size));
  PutU32(h + 12, header.page_size);
  PutU32(h + 16, header.original_page_count);
  PutU32(h + 20, header.new_page_count);
  PutU32(h + 24, static_cast<uint32_t>(pages.size()));
  PutU32(h + 28, static_cast<uint32_t>(existed));
  PutU64(h + 32, header.nonce);
  PutU64(h + 40, header.identity.creation_date_bits);
  PutU32(h + 48, header.identity.database_key);
  PutU16(h + 52, header.identity.code_page);
  PutU16(h + 54, static_cast<uint16_t>(name_size));
  PutU64(h + 56, static_cast<uint64_t>(header.written_at));
  PutU64(h + 64, Checksum64(std::span<const uint8_t>(list, pages.size() * kEntrySize), 1));
  PutU64(h + 72, Checksum64(originals, 2));
  PutU64(h + 80, 0);
  std::memcpy(h + kFixedHeader, header.database_name.data(), name_size);
  PutU64(h + kHeaderChecksumAt, HeaderChecksum(std::span<const uint8_t>(h, header_size)));
  return out;
}

DecodedJournal DecodeJournal(std::span<const uint8_t> bytes) {
  DecodedJournal d;
  if (bytes.empty()) return d;
  const size_t lead = std::min<size_t>(bytes.size(), 8);
  if (std::memcmp(bytes.data(), kMagic, lead) != 0) {
    d.state = lead == 8 && std::memcmp(bytes.data(), kOlderMagic, 8) == 0
                  ? JournalState::kOlderVersion
                  : JournalState::kNotOurs;
    return d;
  }
  d.state = JournalState::kHeaderUnreadable;
  if (bytes.size() < kFixedHeader) return d;
  ByteView v(bytes.data(), bytes.size());
  const size_t header_size = v.U32(8);
  if (header_size < kFixedHeader || header_size > bytes.size() ||
      header_size != kFixedHeader + v.U16(54) ||
      v.U64(kHeaderChecksumAt) != HeaderChecksum(bytes.first(header_size))) {
    return d;
  }
  JournalHeader& h = d.header;
  h.page_size = v.U32(12);
  h.original_page_count = v.U32(16);
  h.new_page_count = v.U32(20);
  const size_t count = v.U32(24);
  const size_t existed = v.U32(28);
  h.nonce = v.U64(32);
  h.identity.creation_date_bits = v.U64(40);
  h.identity.database_key = v.U32(48);
  h.identity.code_page = v.U16(52);
  h.written_at = static_cast<int64_t>(v.U64(56));
  h.database_name.assign(reinterpret_cast<const char*>(bytes.data()) + kFixedHeader,
                         header_size - kFixedHeader);

  d.state = JournalState::kPagesUnreadable;
  if (h.page_size != kPageSize || existed > count ||
      count > (bytes.size() - header_size) / kEntrySize) {
    return d;
  }
  auto list = bytes.subspan(header_size, count * kEntrySize);
  if (Checksum64(list, 1) != v.U64(64)) return d;
  std::vector<JournalPage> pages(count);
  size_t seen_existed = 0;
  for (size_t i = 0; i < count; ++i) {
    ByteView e(list.data() + i * kEntrySize, kEntrySize);
    JournalPage& p = pages[i];
    p.page = e.U32(0);
    p.existed = (e.U32(4) & kExisted) != 0;
    p.original_checksum = e.U64(8);
    for (size_t s = 0; s < kSectorsPerPage; ++s) p.new_sectors[s] = e.U32(16 + 4 * s);
    // A list that contradicts the header's page counts was not written by a commit.
    if ((i > 0 && p.page <= pages[i - 1].page) || p.page >= h.new_page_count ||
        p.existed != (p.page < h.original_page_count)) {
      return d;
    }
    seen_existed += p.existed ? 1 : 0;
  }
  // Every page the commit appends is in the list.
  const size_t appended =
      h.new_page_count > h.original_page_count ? h.new_page_count - h.original_page_count : 0;
  if (seen_existed != existed || count - existed != appended) return d;
  d.pages = std::move(pages);

  d.state = JournalState::kOriginalsUnreadable;
  const size_t body_at = header_size + count * kEntrySize;
  if (bytes.size() - body_at != existed * size_t{kPageSize}) return d;
  auto originals = bytes.subspan(body_at);
  if (Checksum64(originals, 2) != v.U64(72)) return d;
  size_t k = 0;
  for (const JournalPage& p : d.pages) {
    if (!p.existed) continue;
    if (PageChecksum(p.page, originals.subspan(k * kPageSize, kPageSize)) != p.original_checksum) {
      return d;
    }
    ++k;
  }
  d.originals = originals;
  d.state = JournalState::kWhole;
  return d;
}

}  // namespace jet
