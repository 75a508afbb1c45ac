#include "jet/format/usage_map.h"

#include <string>

#include "jet/format/page_size.h"

namespace jet {
namespace {

void CollectBits(ByteView bitmap, uint32_t first_page, uint32_t page_count, PagesPastEnd past_end,
                 std::vector<uint32_t>& out) {
  for (size_t i = 0; i < bitmap.size(); ++i) {
    uint8_t byte = bitmap.data()[i];
    if (byte == 0) continue;
    for (int bit = 0; bit < 8; ++bit) {
      if (!((byte >> bit) & 1)) continue;
      uint64_t page = uint64_t{first_page} + i * 8 + bit;
      if (page < page_count) {
        out.push_back(static_cast<uint32_t>(page));
      } else if (past_end == PagesPastEnd::kDamage) {
        ThrowCorrupt(Problem::kDamagedUsageMapPastEnd, {.page = page});
      }
    }
  }
}

}  // namespace

std::vector<uint32_t> DecodeUsageMap(ByteView row, const PageSource& pages, uint32_t page_count,
                                     PagesPastEnd past_end) {
  using namespace usage_map;
  std::vector<uint32_t> out;
  if (row.size() < 1) ThrowCorrupt(Problem::kDamagedUsageMap);
  switch (row.U8(0)) {
    case kInline: {
      if (row.size() < kInlineBitmap) ThrowCorrupt(Problem::kDamagedUsageMap);
      CollectBits(row.From(kInlineBitmap), row.U32(kInlineStart), page_count, past_end, out);
      break;
    }
    case kReference: {
      size_t slots = (row.size() - ReferenceSlotAt(0)) / 4;
      for (size_t k = 0; k < slots; ++k) {
        const uint32_t bitmap_page = ReferenceMapSlot(row, k);
        if (bitmap_page == 0) continue;
        if (bitmap_page >= page_count) {
          ThrowCorrupt(Problem::kDamagedUsageMapPage, {.page = bitmap_page});
        }
        ByteView page = pages(bitmap_page);
        if (page.U8(0) != kPageUsageBitmap) {
          ThrowCorrupt(Problem::kDamagedUsageMapPage, {.page = bitmap_page});
        }
        CollectBits(page.Sub(kBitmapPageHeader, kPageSize - kBitmapPageHeader),
                    static_cast<uint32_t>(k * kPagesPerBitmapPage), page_count, past_end, out);
      }
      break;
    }
    default:
      ThrowCorrupt(Problem::kDamagedUsageMap);
  }
  return out;
}

std::vector<uint32_t> UsageMapBitmapPages(ByteView row) {
  std::vector<uint32_t> out;
  if (row.size() < 1 || row.U8(0) != usage_map::kReference) return out;
  for (size_t k = 0; k < (row.size() - usage_map::ReferenceSlotAt(0)) / 4; ++k) {
    if (uint32_t page = ReferenceMapSlot(row, k); page != 0) out.push_back(page);
  }
  return out;
}

uint32_t ReferenceMapSlot(ByteView row, size_t slot) {
  const int32_t page = static_cast<int32_t>(row.U32(usage_map::ReferenceSlotAt(slot)));
  return page > 0 ? static_cast<uint32_t>(page) : 0;
}

}  // namespace jet
