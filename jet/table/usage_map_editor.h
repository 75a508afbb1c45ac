// Adding pages to and removing pages from the usage maps of tables, indexes and long-value
// columns (set bit = the page belongs to the map's owner).
//
// An inline map covers a window of pages after its start page. When a page falls outside,
// the window slides if every page still fits, as Jackcess does; otherwise the map becomes a
// reference map (same row length: type byte + 17 bitmap-page numbers), as Access does when
// a table outgrows its inline map.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jet/file/pager.h"
#include "jet/format/row_pointer.h"
#include "jet/table/page_allocator.h"

namespace jet {

void AddPageToUsageMap(Pager& pager, PageAllocator& allocator, RowPointer map, uint32_t page);
void RemovePageFromUsageMap(Pager& pager, RowPointer map, uint32_t page);

// A writable copy of bitmap page `page` of a reference map, once it is known to be one: a
// damaged map must not steer a write onto some other page of the file.
std::span<uint8_t> ModifyUsageBitmapPage(Pager& pager, uint32_t page);

// A fresh inline map row of the standard length, listing `page` if non-zero.
std::vector<uint8_t> NewInlineUsageMap(uint32_t page);

}  // namespace jet
