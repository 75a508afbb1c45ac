#include "jet/table/page_allocator.h"

#include <string>
#include <vector>

#include "jet/format/data_page.h"
#include "jet/format/usage_map.h"
#include "jet/table/usage_map_editor.h"

namespace jet {
namespace {

constexpr uint32_t kFreeMapPage = 1;

// Bytes of bitmap the map grows by at a time: 512 pages.
constexpr size_t kGrowthBytes = 64;

}  // namespace

bool PageAllocator::GrowInlineMap(uint32_t page) {
  PinnedView current = pager_.Page(kFreeMapPage);
  DataPageReader reader(current);
  if (reader.row_count() < 1) return false;
  std::vector<std::vector<uint8_t>> rows;
  for (uint16_t r = 0; r < reader.row_count(); ++r) {
    RowSlot slot = reader.Row(r);
    if (slot.deleted) return false;  // not a layout we know how to rebuild
    rows.emplace_back(slot.bytes.data(), slot.bytes.data() + slot.bytes.size());
  }
  std::vector<uint8_t>& map = rows[0];
  uint32_t start = ByteView(map.data(), map.size()).U32(usage_map::kInlineStart);
  size_t needed = (page - start) / 8 + 1;
  size_t bytes = (needed + kGrowthBytes - 1) / kGrowthBytes * kGrowthBytes;
  size_t old_bytes = map.size() - usage_map::kInlineBitmap;
  // Pages not yet in the file count as free, as in every map Access writes.
  map.resize(usage_map::kInlineBitmap + bytes, 0xFF);
  for (size_t i = old_bytes; i < bytes; ++i) map[usage_map::kInlineBitmap + i] = 0xFF;
  size_t total = data_page::kSlots;
  for (const auto& r : rows) total += r.size() + 2;
  if (total > kPageSize) return false;
  std::span<uint8_t> p = pager_.Modify(kFreeMapPage);
  uint32_t owner = ByteView(p.data(), p.size()).U32(data_page::kOwner);
  InitDataPage(p, owner);
  for (const auto& r : rows) AppendRowToPage(p, ByteView(r.data(), r.size()));
  return true;
}

uint32_t PageAllocator::Allocate() {
  uint32_t page = pager_.Append();
  SetFreeBit(page, false);
  return page;
}

void PageAllocator::Free(uint32_t page) {
  std::span<uint8_t> bytes = pager_.Modify(page);
  std::fill(bytes.begin(), bytes.begin() + 4, 0);
  SetFreeBit(page, true);
}

void PageAllocator::SetFreeBit(uint32_t page, bool free) {
  PinnedView current = pager_.Page(kFreeMapPage);
  DataPageReader reader(current);
  RowSlot map = reader.Row(0);
  if (map.bytes.size() < usage_map::kInlineBitmap) ThrowCorrupt(Problem::kDamagedUsageMap);
  if (map.bytes.U8(0) == usage_map::kInline) {
    uint32_t start = map.bytes.U32(usage_map::kInlineStart);
    size_t bits = (map.bytes.size() - usage_map::kInlineBitmap) * 8;
    if (page >= start && page - start < bits) {
      size_t offset = static_cast<size_t>(map.bytes.data() - current.data()) +
                      usage_map::kInlineBitmap + (page - start) / 8;
      uint8_t mask = static_cast<uint8_t>(1 << ((page - start) % 8));
      std::span<uint8_t> p = pager_.Modify(kFreeMapPage);
      p[offset] = free ? (p[offset] | mask) : (p[offset] & ~mask);
      return;
    }
    if (page >= start && !free && GrowInlineMap(page)) {
      SetFreeBit(page, free);
      return;
    }
    // Pages past what page 1 can hold keep no bit, as in Jackcess; Compact & Repair
    // rebuilds the map.
    return;
  }
  if (map.bytes.U8(0) == usage_map::kReference) {
    size_t slot = page / usage_map::kPagesPerBitmapPage;
    if (usage_map::ReferenceSlotAt(slot) + 4 > map.bytes.size()) return;
    uint32_t bitmap_page = map.bytes.U32(usage_map::ReferenceSlotAt(slot));
    if (bitmap_page == 0) return;
    size_t bit = page % usage_map::kPagesPerBitmapPage;
    std::span<uint8_t> p = ModifyUsageBitmapPage(pager_, bitmap_page);
    uint8_t mask = static_cast<uint8_t>(1 << (bit % 8));
    uint8_t& byte = p[usage_map::kBitmapPageHeader + bit / 8];
    byte = free ? (byte | mask) : (byte & ~mask);
    return;
  }
  ThrowCorrupt(Problem::kDamagedUsageMap);
}

}  // namespace jet
