#include "jet/table/stored_rows.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "jet/format/data_page.h"
#include "jet/format/long_value.h"
#include "jet/format/page_size.h"
#include "jet/format/usage_map.h"

namespace jet {

namespace {

std::vector<uint32_t> DecodeMapAt(Pager& pager, RowPointer where, PagesPastEnd past_end) {
  PinnedView row = ReadStoredRow(pager, where);
  // Each bitmap page is read through before the next is asked for.
  return DecodeUsageMap(
      row, [&](uint32_t n) { return pager.Page(n).Unpinned(); }, pager.page_count(), past_end);
}

// A row of a long value: on a long-value page, never on a table's data page, which a
// damaged pointer could otherwise read as if it were part of the value.
PinnedView ReadLongValueRow(Pager& pager, RowPointer where, LongValuePages& pages,
                            uint16_t column_id) {
  if (!pages.Holds(column_id, where.page)) {
    ThrowCorrupt(Problem::kDamagedLongValueOutsideMap, {.page = where.page});
  }
  PinnedView row = ReadStoredRow(pager, where);
  RequireLongValuePage(pager.Page(where.page).Unpinned(), where.page);
  return row;
}

}  // namespace

void RequireTableDataPage(ByteView page, uint32_t number, uint32_t table_definition_page) {
  if (page.U8(0) != kPageData) {
    ThrowCorrupt(Problem::kDamagedPageType, {.page = number, .number = page.U8(0)});
  }
  if (page.U32(data_page::kOwner) != table_definition_page) {
    ThrowCorrupt(Problem::kDamagedForeignPage, {.page = number});
  }
}

void RequireLongValuePage(ByteView page, uint32_t number) {
  if (page.U8(0) != kPageData || page.U32(data_page::kOwner) != data_page::kLvalOwner) {
    ThrowCorrupt(Problem::kDamagedNotLongValuePage, {.page = number});
  }
}

PinnedView ReadStoredRow(Pager& pager, RowPointer where) {
  if (where.page == 0 || where.page >= pager.page_count()) {
    ThrowCorrupt(Problem::kDamagedRowPointer, {.page = where.page});
  }
  PinnedView page = pager.Page(where.page);
  if (page.U8(0) != kPageData) ThrowCorrupt(Problem::kDamagedNotDataPage, {.page = where.page});
  return page.Pin(DataPageReader(page).Row(where.row).bytes);
}

std::vector<uint32_t> ReadUsageMap(Pager& pager, RowPointer where, PagesPastEnd past_end) {
  // The maps of tables, indexes and long values live on usage-map pages, which no table
  // owns. A map pointer that leads onto a table's own page would read its rows as a map.
  if (where.page < pager.page_count() && pager.Page(where.page).U32(data_page::kOwner) != 0) {
    ThrowCorrupt(Problem::kDamagedUsageMap, {.page = where.page});
  }
  return DecodeMapAt(pager, where, past_end);
}

std::vector<uint32_t> ReadFreePageMap(Pager& pager) {
  return DecodeMapAt(pager, RowPointer{1, 0}, PagesPastEnd::kIgnore);
}

bool LongValuePages::Holds(uint16_t column_id, uint32_t page) {
  auto it = pages_.find(column_id);
  const std::vector<uint32_t>& known = it != pages_.end() ? it->second : Read(column_id);
  if (std::binary_search(known.begin(), known.end(), page)) return true;
  if (it == pages_.end()) return false;
  const std::vector<uint32_t>& now = Read(column_id);
  return std::binary_search(now.begin(), now.end(), page);
}

const std::vector<uint32_t>& LongValuePages::Read(uint16_t column_id) {
  std::vector<uint32_t> pages;
  for (const LongValueMaps& m : maps_) {
    if (m.column_id == column_id && !m.owned.IsNull())
      pages = ReadUsageMap(pager_, m.owned, past_end_);
  }
  std::sort(pages.begin(), pages.end());
  std::vector<uint32_t>& kept = pages_[column_id];
  kept = std::move(pages);
  return kept;
}

namespace {

// Walks the value stored as `stored`, handing each piece of it to `take` in order.
template <typename Take>
void WalkLongValue(Pager& pager, ByteView stored, LongValuePages& pages, uint16_t column_id,
                   Take&& take) {
  LongValueHeader h = DecodeLongValueHeader(stored);
  if (h.form == LongValueForm::kInline) {
    take(h.inline_data);
    return;
  }
  // No value can be longer than the file that holds it: refuse absurd lengths before
  // allocating anything.
  if (uint64_t{h.length} > uint64_t{pager.page_count()} * kPageSize) {
    ThrowCorrupt(Problem::kDamagedLongValue);
  }
  if (h.form == LongValueForm::kSingleRow) {
    PinnedView row = ReadLongValueRow(pager, h.first, pages, column_id);
    if (row.size() < h.length) ThrowCorrupt(Problem::kDamagedLongValue);
    take(ByteView(row.data(), h.length));
    return;
  }
  size_t done = 0;
  std::unordered_set<RowPointer> seen;
  RowPointer at = h.first;
  while (done < h.length) {
    if (at.IsNull()) ThrowCorrupt(Problem::kDamagedLongValueChain);
    if (!seen.insert(at).second) ThrowCorrupt(Problem::kDamagedLongValueChain);
    PinnedView row = ReadLongValueRow(pager, at, pages, column_id);
    if (row.size() < 4) ThrowCorrupt(Problem::kDamagedLongValueChain);
    RowPointer next = RowPointer::FromStored(row.U32(0));
    const size_t piece = std::min<size_t>(row.size() - 4, h.length - done);
    take(ByteView(row.data() + 4, piece));
    done += piece;
    at = next;
  }
}

}  // namespace

std::vector<uint8_t> ReadLongValue(Pager& pager, ByteView stored, LongValuePages& pages,
                                   uint16_t column_id) {
  std::vector<uint8_t> out;
  WalkLongValue(pager, stored, pages, column_id, [&](ByteView piece) {
    out.insert(out.end(), piece.data(), piece.data() + piece.size());
  });
  return out;
}

void CheckLongValue(Pager& pager, ByteView stored, LongValuePages& pages, uint16_t column_id) {
  WalkLongValue(pager, stored, pages, column_id, [](ByteView) {});
}

}  // namespace jet
