// Reading rows by pointer from data pages: the common step under table scans, usage maps
// and long values. Follows overflow pointers with a hop limit, so a cycle is an error.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/file/pager.h"
#include "jet/format/bytes.h"
#include "jet/format/row_pointer.h"

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
std::vector<uint32_t> ReadUsageMap(Pager& pager, RowPointer where);

// The pages the file's free-page map (page 1, row 0) marks free.
std::vector<uint32_t> ReadFreePageMap(Pager& pager);

// The whole value of a memo/OLE column from its stored header (inline, one row or a chain).
// Throws kCorrupt on a cycle, a chain that ends early, or a length the file cannot hold.
std::vector<uint8_t> ReadLongValue(Pager& pager, ByteView stored);

}  // namespace jet
