// Reading rows by pointer from data pages: the common step under table scans, usage maps
// and long values. Follows overflow pointers with a hop limit, so a cycle is an error.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "jet/file/pager.h"
#include "jet/format/bytes.h"
#include "jet/format/row_pointer.h"
#include "jet/format/table_definition.h"
#include "jet/format/usage_map.h"

namespace jet {

// The bytes of the row at `where`, which must be a row of a data page, holding their page.
// Throws kCorrupt, naming the page, when the page is past the end or not a data page.
PinnedView ReadStoredRow(Pager& pager, RowPointer where);

// A page a table's maps list must be one of its data pages (and a page a long-value
// column's maps list, a long-value page). Anything else, another table's page, zeros from a
// bad sector, a page of another kind, means the map or the page is damaged: throws kCorrupt.
void RequireTableDataPage(ByteView page, uint32_t number, uint32_t table_definition_page);
void RequireLongValuePage(ByteView page, uint32_t number);

// The pages listed by the usage map of a table, an index or a long-value column stored at
// `where`, a row of a usage-map page (a data page with no owner). A page past the end of
// the file is damage (see PagesPastEnd).
std::vector<uint32_t> ReadUsageMap(Pager& pager, RowPointer where,
                                   PagesPastEnd past_end = PagesPastEnd::kDamage);

// The pages the file's free-page map (page 1, row 0) marks free.
std::vector<uint32_t> ReadFreePageMap(Pager& pager);

// The pages a table's long-value columns keep their values on: those each column's owned
// map lists. A map is read when its column's first value is, and read again when a value
// leads to a page it did not list, since a writer may have added the page since.
class LongValuePages {
 public:
  // Keeps a copy of the maps' places: a write in the same transaction may drop `def` from
  // the database's cache while a walk still runs.
  //
  // `past_end`: kIgnore for a reader that salvages what it can of a file cut short, whose
  // maps still list the pages it lost; a value on such a page still fails, the others read.
  LongValuePages(Pager& pager, const TableDefinition& def,
                 PagesPastEnd past_end = PagesPastEnd::kDamage)
      : pager_(pager), maps_(def.long_value_maps), past_end_(past_end) {}
  // Whether the column's owned map lists `page`. False for a column without a map.
  bool Holds(uint16_t column_id, uint32_t page);

 private:
  const std::vector<uint32_t>& Read(uint16_t column_id);

  Pager& pager_;
  std::vector<LongValueMaps> maps_;
  PagesPastEnd past_end_;
  std::map<uint16_t, std::vector<uint32_t>> pages_;
};

// The whole value of a memo/OLE column from its stored header (inline, one row or a chain).
// Every row of it must lie on one of column `column_id`'s own long-value pages: a link a
// scribble bent, past the end of the file, say, leads elsewhere, and once a writer has
// appended pages there it would read another value as this one. Throws kCorrupt on that, a
// cycle, a chain that ends early, or a length the file cannot hold.
std::vector<uint8_t> ReadLongValue(Pager& pager, ByteView stored, LongValuePages& pages,
                                   uint16_t column_id);
// The same walk, keeping nothing: for a check that the value reads.
void CheckLongValue(Pager& pager, ByteView stored, LongValuePages& pages, uint16_t column_id);

}  // namespace jet
