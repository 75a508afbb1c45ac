#include "jet/table/long_value_store.h"

#include "jet/format/data_page.h"
#include "jet/format/long_value.h"
#include "jet/table/usage_map_editor.h"

namespace jet {

RowPointer LongValueStore::PlaceRow(const LongValueMaps& maps, ByteView row) {
  auto it = current_page_.find(maps.column_id);
  if (it != current_page_.end()) {
    if (auto slot = AppendRowToPage(pager_.Modify(it->second), row)) {
      return RowPointer{it->second, static_cast<uint8_t>(*slot)};
    }
  }
  uint32_t page = allocator_.Allocate();
  InitDataPage(pager_.Modify(page), data_page::kLvalOwner);
  AddPageToUsageMap(pager_, allocator_, maps.owned, page);
  current_page_[maps.column_id] = page;
  auto slot = AppendRowToPage(pager_.Modify(page), row);
  if (!slot) ThrowCorrupt(Problem::kDamagedDefinition);
  return RowPointer{page, static_cast<uint8_t>(*slot)};
}

std::vector<uint8_t> LongValueStore::Store(const LongValueMaps& maps, ByteView data) {
  std::vector<uint8_t> header(kLongValueHeaderSize, 0);
  uint32_t length = static_cast<uint32_t>(data.size());
  if (data.size() > 0x3FFFFFFF) throw JetError(Problem::kLongValueTooLarge);
  if (data.size() <= kInlineLimit) {
    PutU32(header.data(), length | 0x80000000u);
    header.insert(header.end(), data.data(), data.data() + data.size());
    return header;
  }
  if (data.size() <= kSingleRowLimit) {
    RowPointer where = PlaceRow(maps, data);
    PutU32(header.data(), length | 0x40000000u);
    PutU32(header.data() + 4, where.ToStored());
    return header;
  }
  // A chain: each row is the next row's pointer followed by up to 4072 bytes. Written from
  // the last piece back, so every row knows where its successor went.
  size_t pieces = (data.size() + kLongValueChunk - 1) / kLongValueChunk;
  RowPointer next{};
  std::vector<uint8_t> row;
  for (size_t i = pieces; i-- > 0;) {
    size_t offset = i * kLongValueChunk;
    size_t n = std::min(kLongValueChunk, data.size() - offset);
    row.assign(4, 0);
    PutU32(row.data(), next.ToStored());
    row.insert(row.end(), data.data() + offset, data.data() + offset + n);
    next = PlaceRow(maps, ByteView(row.data(), row.size()));
  }
  PutU32(header.data(), length);
  PutU32(header.data() + 4, next.ToStored());
  return header;
}

}  // namespace jet
