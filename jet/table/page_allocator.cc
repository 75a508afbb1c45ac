#include "jet/table/page_allocator.h"

#include <string>
#include <vector>

#include "jet/format/data_page.h"
#include "jet/format/usage_map.h"

namespace jet {
namespace {

constexpr uint32_t kFreeMapPage = 1;

}  // namespace

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
  ByteView current = pager_.Page(kFreeMapPage);
  DataPageReader reader(current);
  RowSlot map = reader.Row(0);
  if (map.bytes.size() < 5) ThrowCorrupt("the free-page map is too short");
  if (map.bytes.U8(0) == usage_map::kInline) {
    uint32_t start = map.bytes.U32(1);
    size_t bits = (map.bytes.size() - 5) * 8;
    if (page >= start && page - start < bits) {
      size_t offset = static_cast<size_t>(map.bytes.data() - current.data()) + 5 + (page - start) / 8;
      uint8_t mask = static_cast<uint8_t>(1 << ((page - start) % 8));
      std::span<uint8_t> p = pager_.Modify(kFreeMapPage);
      p[offset] = free ? (p[offset] | mask) : (p[offset] & ~mask);
    }
    // Pages past the map's window have no bit; Access treats them as in use once the file
    // has grown over them, and rebuilds the map on compaction.
    return;
  }
  if (map.bytes.U8(0) == usage_map::kReference) {
    size_t slot = page / usage_map::kPagesPerBitmapPage;
    if (1 + 4 * slot + 4 > map.bytes.size()) return;
    uint32_t bitmap_page = map.bytes.U32(1 + 4 * slot);
    if (bitmap_page == 0) return;
    size_t bit = page % usage_map::kPagesPerBitmapPage;
    std::span<uint8_t> p = pager_.Modify(bitmap_page);
    uint8_t mask = static_cast<uint8_t>(1 << (bit % 8));
    p[4 + bit / 8] = free ? (p[4 + bit / 8] | mask) : (p[4 + bit / 8] & ~mask);
    return;
  }
  ThrowCorrupt("the free-page map has an unknown type");
}

}  // namespace jet
