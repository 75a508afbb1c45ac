#include "jet/table/usage_map_editor.h"

#include <algorithm>
#include <string>
#include <vector>

#include "jet/format/data_page.h"
#include "jet/format/usage_map.h"
#include "jet/table/stored_rows.h"

namespace jet {
namespace {

// The map row's bytes on a writable copy of its page.
std::span<uint8_t> WritableMapRow(Pager& pager, RowPointer map) {
  PinnedView row = ReadStoredRow(pager, map);
  PinnedView page = pager.Page(map.page);
  size_t offset = static_cast<size_t>(row.data() - page.data());
  std::span<uint8_t> writable = pager.Modify(map.page);
  return writable.subspan(offset, row.size());
}

void SetBit(std::span<uint8_t> bitmap, size_t bit, bool value) {
  uint8_t mask = static_cast<uint8_t>(1 << (bit % 8));
  bitmap[bit / 8] = value ? (bitmap[bit / 8] | mask) : (bitmap[bit / 8] & ~mask);
}

void WriteInline(std::span<uint8_t> row, uint32_t start, const std::vector<uint32_t>& pages) {
  std::fill(row.begin(), row.end(), 0);
  row[0] = usage_map::kInline;
  PutU32(row.data() + usage_map::kInlineStart, start);
  for (uint32_t p : pages) SetBit(row.subspan(usage_map::kInlineBitmap), p - start, true);
}

void AddToReference(Pager& pager, PageAllocator& allocator, RowPointer map, uint32_t page) {
  size_t slot = page / usage_map::kPagesPerBitmapPage;
  std::span<uint8_t> row = WritableMapRow(pager, map);
  if (usage_map::ReferenceSlotAt(slot) + 4 > row.size()) {
    throw JetError(Problem::kDatabaseFull);
  }
  uint32_t bitmap_page = ReferenceMapSlot(ByteView(row.data(), row.size()), slot);
  if (bitmap_page == 0) {
    bitmap_page = allocator.Allocate();
    std::span<uint8_t> b = pager.Modify(bitmap_page);
    b[0] = kPageUsageBitmap;
    b[1] = 0x01;
    row = WritableMapRow(pager, map);  // the allocation may have touched the same page
    PutU32(row.data() + usage_map::ReferenceSlotAt(slot), bitmap_page);
  }
  std::span<uint8_t> b = ModifyUsageBitmapPage(pager, bitmap_page);
  SetBit(b.subspan(usage_map::kBitmapPageHeader), page % usage_map::kPagesPerBitmapPage, true);
}

}  // namespace

std::span<uint8_t> ModifyUsageBitmapPage(Pager& pager, uint32_t page) {
  if (page == 0 || page >= pager.page_count() || pager.Page(page).U8(0) != kPageUsageBitmap) {
    ThrowCorrupt(Problem::kDamagedUsageMapPage, {.page = page});
  }
  return pager.Modify(page);
}

std::vector<uint8_t> NewInlineUsageMap(uint32_t page) {
  std::vector<uint8_t> row(usage_map::kInlineRowSize, 0);
  if (page != 0) {
    uint32_t start = page - page % 8;
    WriteInline(row, start, {page});
  }
  return row;
}

void AddPageToUsageMap(Pager& pager, PageAllocator& allocator, RowPointer map, uint32_t page) {
  PinnedView current = ReadStoredRow(pager, map);
  if (current.size() < usage_map::kInlineBitmap) ThrowCorrupt(Problem::kDamagedUsageMap);
  if (current.U8(0) == usage_map::kReference) {
    AddToReference(pager, allocator, map, page);
    return;
  }
  if (current.U8(0) != usage_map::kInline) ThrowCorrupt(Problem::kDamagedUsageMap);
  uint32_t start = current.U32(usage_map::kInlineStart);
  size_t window = (current.size() - usage_map::kInlineBitmap) * 8;
  if (page >= start && page - start < window) {
    SetBit(WritableMapRow(pager, map).subspan(usage_map::kInlineBitmap), page - start, true);
    return;
  }
  std::vector<uint32_t> pages = DecodeUsageMap(current, {}, 0xFFFFFFFF, PagesPastEnd::kIgnore);
  pages.push_back(page);
  auto [low, high] = std::minmax_element(pages.begin(), pages.end());
  uint32_t new_start = *low - *low % 8;
  if (*high - new_start < window) {
    WriteInline(WritableMapRow(pager, map), new_start, pages);
    return;
  }
  if (current.size() < usage_map::ReferenceSlotAt(usage_map::kReferenceSlots)) {
    throw JetError(Problem::kDatabaseFull);
  }
  // Convert: same row, now a list of bitmap pages.
  std::span<uint8_t> row = WritableMapRow(pager, map);
  std::fill(row.begin(), row.end(), 0);
  row[0] = usage_map::kReference;
  for (uint32_t p : pages) AddToReference(pager, allocator, map, p);
}

void RemovePageFromUsageMap(Pager& pager, RowPointer map, uint32_t page) {
  PinnedView current = ReadStoredRow(pager, map);
  if (current.size() < usage_map::kInlineBitmap) ThrowCorrupt(Problem::kDamagedUsageMap);
  if (current.U8(0) == usage_map::kInline) {
    uint32_t start = current.U32(usage_map::kInlineStart);
    if (page >= start && page - start < (current.size() - usage_map::kInlineBitmap) * 8) {
      SetBit(WritableMapRow(pager, map).subspan(usage_map::kInlineBitmap), page - start, false);
    }
    return;
  }
  size_t slot = page / usage_map::kPagesPerBitmapPage;
  if (usage_map::ReferenceSlotAt(slot) + 4 > current.size()) return;
  const uint32_t bitmap_page = ReferenceMapSlot(current, slot);
  if (bitmap_page == 0) return;
  std::span<uint8_t> b = ModifyUsageBitmapPage(pager, bitmap_page);
  SetBit(b.subspan(usage_map::kBitmapPageHeader), page % usage_map::kPagesPerBitmapPage, false);
}

}  // namespace jet
