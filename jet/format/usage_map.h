// Usage maps: which pages belong to a table, an index or a long-value column (and, on page 1,
// which pages of the file are free). A map is a row of a data page, either inline (a start
// page and a bitmap) or by reference (a list of bitmap pages, each covering 32736 pages).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "jet/format/bytes.h"

namespace jet {

namespace usage_map {
inline constexpr uint8_t kInline = 0x00;
inline constexpr uint8_t kReference = 0x01;
inline constexpr size_t kInlineRowSize = 69;  // type + start page + 64 bitmap bytes
inline constexpr size_t kInlineBitmapBytes = 64;
inline constexpr uint32_t kPagesPerBitmapPage = (4096 - 4) * 8;
inline constexpr size_t kReferenceSlots = 17;
}  // namespace usage_map

// Fetches the decoded bytes of a page (for reference maps' bitmap pages).
using PageSource = std::function<ByteView(uint32_t)>;

// The pages whose bit is set, in ascending order, limited to pages below `page_count`
// (bits for pages past the end of the file are ignored). Throws kCorrupt on an unknown map
// type or a bitmap page that is not one.
std::vector<uint32_t> DecodeUsageMap(ByteView map_row, const PageSource& pages, uint32_t page_count);

}  // namespace jet
