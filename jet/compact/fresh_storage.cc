#include "jet/compact/fresh_storage.h"

#include <vector>

#include "jet/format/data_page.h"
#include "jet/table/index_writer.h"
#include "jet/table/usage_map_editor.h"

namespace jet::compact {
namespace {

// Places a map row on the table's usage-map page, starting a new one when it is full.
RowPointer PlaceMapRow(Pager& pager, PageAllocator& allocator, uint32_t& map_page,
                       const std::vector<uint8_t>& row) {
  const ByteView bytes(row.data(), row.size());
  if (map_page != 0) {
    if (auto slot = AppendRowToPage(pager.Modify(map_page), bytes)) {
      return RowPointer{map_page, static_cast<uint8_t>(*slot)};
    }
  }
  map_page = allocator.Allocate();
  InitDataPage(pager.Modify(map_page), 0);  // usage-map pages have no owner
  auto slot = AppendRowToPage(pager.Modify(map_page), bytes);
  return RowPointer{map_page, static_cast<uint8_t>(*slot)};
}

}  // namespace

TableDefinition WithFreshStorage(Pager& pager, PageAllocator& allocator, uint32_t& map_page,
                                 uint32_t definition_page, const TableDefinition& source,
                                 const std::map<uint32_t, uint32_t>& definition_pages) {
  TableDefinition def = source;
  def.row_count = 0;
  // In the order CreateTable takes them: the table's maps, each index's root and map, then
  // the long-value columns' maps.
  def.owned_pages = PlaceMapRow(pager, allocator, map_page, NewInlineUsageMap(0));
  def.free_pages = PlaceMapRow(pager, allocator, map_page, NewInlineUsageMap(0));
  for (RealIndex& index : def.real_indexes) {
    index.root_page = allocator.Allocate();
    index.usage_map = PlaceMapRow(pager, allocator, map_page, NewInlineUsageMap(index.root_page));
    WriteEmptyIndexRoot(pager, index.root_page, definition_page);
  }
  for (LongValueMaps& maps : def.long_value_maps) {
    maps.owned = PlaceMapRow(pager, allocator, map_page, NewInlineUsageMap(0));
    maps.free = PlaceMapRow(pager, allocator, map_page, NewInlineUsageMap(0));
  }
  for (LogicalIndex& index : def.logical_indexes) {
    auto it = definition_pages.find(index.related_table_page);
    if (index.related_table_page != 0 && it != definition_pages.end()) {
      index.related_table_page = it->second;
    }
  }
  return def;
}

}  // namespace jet::compact
