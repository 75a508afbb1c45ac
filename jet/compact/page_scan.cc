#include "jet/compact/page_scan.h"

#include <algorithm>
#include <unordered_set>

#include "jet/error.h"
#include "jet/format/data_page.h"
#include "jet/format/page_size.h"
#include "jet/table/stored_rows.h"

namespace jet::compact {

std::map<uint32_t, std::vector<uint32_t>> DataPagesByOwner(Pager& pager) {
  // A page a table gave back keeps its header and rows, and only the free-page map says it
  // is free. A map that does not read frees nothing.
  std::vector<uint32_t> free;
  try {
    free = ReadFreePageMap(pager);
  } catch (const JetError&) {
  }
  std::sort(free.begin(), free.end());
  std::map<uint32_t, std::vector<uint32_t>> owners;
  for (uint32_t n = 1; n < pager.page_count(); ++n) {
    if (std::binary_search(free.begin(), free.end(), n)) continue;
    PinnedView page = pager.Page(n, Pager::Use::kOnce);
    if (page.U8(0) == kPageData) owners[page.U32(data_page::kOwner)].push_back(n);
  }
  return owners;
}

namespace {

// Where an overflow pointer leads. A moved row stays among its table's pages; anywhere else
// is not this table's row.
RowPointer MovedRowPlace(Pager& pager, uint32_t owner, const RowSlot& slot, PinnedView& page) {
  if (slot.bytes.size() < 4) ThrowCorrupt(Problem::kDamagedOverflowRow);
  const RowPointer target = RowPointer::FromStored(slot.bytes.U32(0));
  if (target.page == 0 || target.page >= pager.page_count()) {
    ThrowCorrupt(Problem::kDamagedOverflowRow);
  }
  page = pager.Page(target.page);
  if (page.U8(0) != kPageData || DataPageReader(page).owner() != owner) {
    ThrowCorrupt(Problem::kDamagedOverflowRow);
  }
  return target;
}

}  // namespace

void ScanOwnedRows(Pager& pager, uint32_t owner, const std::vector<uint32_t>& pages,
                   uint64_t file_end, const std::function<void(RowPointer, ByteView)>& row,
                   const std::function<void(RowPointer)>& unreadable) {
  for (uint32_t n : pages) {
    PinnedView page = pager.Page(n, Pager::Use::kOnce);
    uint16_t count = 0;
    try {
      count = DataPageReader(page).row_count();
    } catch (const JetError&) {
      unreadable(RowPointer{n, 0});
      continue;
    }
    DataPageReader reader(page);
    for (uint16_t r = 0; r < count; ++r) {
      const RowPointer where{n, static_cast<uint8_t>(r)};
      PinnedView bytes;
      try {
        RowSlot slot = reader.Row(r);
        if (slot.deleted) continue;
        PinnedView holder = page;
        uint32_t on = n;
        if (slot.overflow) {
          const RowPointer target = MovedRowPlace(pager, owner, slot, holder);
          on = target.page;
          slot = DataPageReader(holder).Row(target.row);
        }
        bytes = holder.Pin(slot.bytes);
        const uint64_t end = uint64_t{on} * kPageSize +
                             static_cast<uint64_t>(slot.bytes.data() - holder.data()) +
                             slot.bytes.size();
        // A row of no columns is not one Jet writes: zeros where a row was.
        if (end > file_end || slot.bytes.size() < 2 || slot.bytes.U16(0) == 0) {
          ThrowCorrupt(Problem::kDamagedRow);
        }
      } catch (const JetError&) {
        unreadable(where);
        continue;
      }
      row(where, bytes);
    }
  }
}

TableDefinition ReadDefinition(Pager& pager, uint32_t first) {
  std::vector<uint8_t> bytes;
  std::unordered_set<uint32_t> seen;
  for (uint32_t page = first; page != 0;) {
    if (page >= pager.page_count()) ThrowCorrupt(Problem::kDamagedPagePastEnd, {.page = page});
    if (!seen.insert(page).second) ThrowCorrupt(Problem::kDamagedDefinitionLoop);
    PinnedView p = pager.Page(page);
    if (p.U8(0) != kPageTableDefinition) {
      ThrowCorrupt(Problem::kDamagedNotDefinitionPage, {.page = page});
    }
    const size_t from = bytes.empty() ? 0 : 8;
    bytes.insert(bytes.end(), p.data() + from, p.data() + kPageSize);
    page = p.U32(4);
  }
  return DecodeTableDefinition(ByteView(bytes.data(), bytes.size()));
}

}  // namespace jet::compact
