// Usage maps: which pages belong to a table, an index or a long-value column (and, on page 1,
// which pages of the file are free). A map is a row of a data page, either inline (a start
// page and a bitmap) or by reference (a list of bitmap pages, each covering 32736 pages).
// doc/jet4-format.md §4.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "jet/format/bytes.h"
#include "jet/format/page_size.h"

namespace jet {

namespace usage_map {
inline constexpr uint8_t kInline = 0x00;
inline constexpr uint8_t kReference = 0x01;
// An inline map: its kind, the first page its bitmap covers (u32), then the bitmap, 64 bytes
// in the maps Access writes (doc/jet4-format.md §4.1).
inline constexpr size_t kInlineStart = 1;
inline constexpr size_t kInlineBitmap = 5;
inline constexpr size_t kInlineBitmapBytes = 64;
inline constexpr size_t kInlineRowSize = kInlineBitmap + kInlineBitmapBytes;  // 69
inline constexpr size_t kBitmapPageHeader = 4;  // a 0x05 page's bitmap starts after it
inline constexpr uint32_t kPagesPerBitmapPage = (kPageSize - kBitmapPageHeader) * 8;  // 32736
// A reference map: its kind, then kReferenceSlots u32 page numbers of bitmap pages (§4.2).
inline constexpr size_t kReferenceSlots = 17;
constexpr size_t ReferenceSlotAt(size_t slot) {
  return 1 + 4 * slot;
}
}  // namespace usage_map

// Fetches the decoded bytes of a page (for reference maps' bitmap pages).
using PageSource = std::function<ByteView(uint32_t)>;

// What a bit for a page at or past `page_count` means. In the map of a table, an index or a
// long-value column it is a page the file no longer has (a file cut short): damage, since a
// reader that skipped it would see the table shorter than it is, and a writer would hand the
// page out again. In the file's free-page map (page 1) it is a page not yet allocated:
// Access sets those bits.
enum class PagesPastEnd { kDamage, kIgnore };

// The pages whose bit is set, in ascending order. Throws kCorrupt on an unknown map type, a
// bitmap page that is not one, or (with kDamage) a page at or past `page_count`.
std::vector<uint32_t> DecodeUsageMap(ByteView map_row, const PageSource& pages, uint32_t page_count,
                                     PagesPastEnd past_end);

// The bitmap pages a reference map lists (none for an inline map), in slot order. They
// belong to the map's owner as much as the pages they mark.
std::vector<uint32_t> UsageMapBitmapPages(ByteView map_row);

// The bitmap page in slot `slot` of a reference map row, 0 for none. A slot holds a signed
// 32-bit page number, and only one above zero names a page: files in the wild (Jackcess's
// test files among them) hold slots that read as negative numbers, which are unused slots,
// not pages four billion pages into a file that cannot be larger than 2 GB.
uint32_t ReferenceMapSlot(ByteView map_row, size_t slot);

}  // namespace jet
