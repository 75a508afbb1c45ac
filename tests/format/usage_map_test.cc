// A reference usage map: a list of bitmap pages, each marking the pages of its range.
#include "jet/format/usage_map.h"

#include <gtest/gtest.h>

#include <vector>

#include "jet/error.h"
#include "jet/format/page_size.h"

namespace {

using jet::ByteView;

// A reference map row with `slots`, and bitmap page 3 marking pages 5 and 9.
struct ReferenceMap {
  explicit ReferenceMap(const std::vector<uint32_t>& slots) : row(1 + 4 * slots.size(), 0) {
    row[0] = jet::usage_map::kReference;
    for (size_t k = 0; k < slots.size(); ++k) jet::PutU32(row.data() + 1 + 4 * k, slots[k]);
    bitmap[0] = jet::kPageUsageBitmap;
    bitmap[4] = (1 << 5);
    bitmap[5] = (1 << 1);
  }
  std::vector<uint32_t> Decode(uint32_t page_count) const {
    return jet::DecodeUsageMap(
        ByteView(row.data(), row.size()),
        [&](uint32_t page) {
          EXPECT_EQ(page, 3u) << "read a page no slot names";
          return ByteView(bitmap.data(), bitmap.size());
        },
        page_count, jet::PagesPastEnd::kDamage);
  }

  std::vector<uint8_t> row;
  std::vector<uint8_t> bitmap = std::vector<uint8_t>(jet::kPageSize, 0);
};

// A slot is a signed page number: zero and negative ones are unused. The free-page map of
// Jackcess's testRefGlobalV2000.mdb ends in a slot that reads as -128.
TEST(UsageMap, AReferenceSlotNamesAPageOnlyAboveZero) {
  const ReferenceMap map({3, 0, 0xFFFFFF80u, 0x80000000u});
  EXPECT_EQ(map.Decode(100), (std::vector<uint32_t>{5, 9}));
  const ByteView row(map.row.data(), map.row.size());
  EXPECT_EQ(jet::UsageMapBitmapPages(row), std::vector<uint32_t>{3});
  EXPECT_EQ(jet::ReferenceMapSlot(row, 2), 0u);
}

// A slot above zero names a page, which must be in the file.
TEST(UsageMap, AReferenceSlotPastTheEndIsDamage) {
  const ReferenceMap map({3, 0x7FFFFFF0u});
  try {
    map.Decode(100);
    ADD_FAILURE() << "a bitmap page past the end was accepted";
  } catch (const jet::JetError& e) {
    EXPECT_EQ(e.problem(), jet::Problem::kDamagedUsageMapPage);
    EXPECT_EQ(e.facts().page, 0x7FFFFFF0u);
  }
}

}  // namespace
