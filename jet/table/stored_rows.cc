#include "jet/table/stored_rows.h"

#include <string>
#include <unordered_set>

#include "jet/format/data_page.h"
#include "jet/format/long_value.h"
#include "jet/format/page_size.h"
#include "jet/format/usage_map.h"

namespace jet {

PinnedView ReadStoredRow(Pager& pager, RowPointer where) {
  if (where.page == 0 || where.page >= pager.page_count()) {
    ThrowCorrupt("row pointer to page " + std::to_string(where.page) + " is outside the file");
  }
  PinnedView page = pager.Page(where.page);
  return page.Pin(DataPageReader(page).Row(where.row).bytes);
}

std::vector<uint32_t> ReadUsageMap(Pager& pager, RowPointer where) {
  PinnedView row = ReadStoredRow(pager, where);
  // Each bitmap page is read through before the next is asked for.
  return DecodeUsageMap(
      row, [&](uint32_t n) { return pager.Page(n).Unpinned(); }, pager.page_count());
}

std::vector<uint8_t> ReadLongValue(Pager& pager, ByteView stored) {
  LongValueHeader h = DecodeLongValueHeader(stored);
  if (h.form == LongValueForm::kInline) {
    return std::vector<uint8_t>(h.inline_data.data(), h.inline_data.data() + h.inline_data.size());
  }
  // No value can be longer than the file that holds it: refuse absurd lengths before
  // allocating anything.
  if (uint64_t{h.length} > uint64_t{pager.page_count()} * kPageSize) {
    ThrowCorrupt("memo/OLE value claims " + std::to_string(h.length) + " bytes");
  }
  if (h.form == LongValueForm::kSingleRow) {
    PinnedView row = ReadStoredRow(pager, h.first);
    if (row.size() < h.length) ThrowCorrupt("memo/OLE value is shorter than its header says");
    return std::vector<uint8_t>(row.data(), row.data() + h.length);
  }
  std::vector<uint8_t> out;
  std::unordered_set<RowPointer> seen;
  RowPointer at = h.first;
  while (out.size() < h.length) {
    if (at.IsNull()) ThrowCorrupt("memo/OLE chain ends before its stated length");
    if (!seen.insert(at).second) ThrowCorrupt("memo/OLE chain loops back on itself");
    PinnedView row = ReadStoredRow(pager, at);
    if (row.size() < 4) ThrowCorrupt("memo/OLE chain row is too short");
    RowPointer next = RowPointer::FromStored(row.U32(0));
    size_t take = std::min<size_t>(row.size() - 4, h.length - out.size());
    out.insert(out.end(), row.data() + 4, row.data() + 4 + take);
    at = next;
  }
  return out;
}

}  // namespace jet
