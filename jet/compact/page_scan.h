// What a repair reads without trusting usage maps, indexes or row counts: the data pages
// grouped by the table definition their header names, each row of them on its own, and
// table definitions read straight from their pages.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "jet/file/pager.h"
#include "jet/format/bytes.h"
#include "jet/format/row_pointer.h"
#include "jet/format/table_definition.h"

namespace jet::compact {

// Every data page of the file the free-page map does not mark free, by the definition page
// its header names (usage-map and long-value pages included, under their own owners). One
// pass over the file.
std::map<uint32_t, std::vector<uint32_t>> DataPagesByOwner(Pager& pager);

// Calls `row(where, bytes)` for every live row on `pages`, all owned by `owner`, and
// `unreadable(where)` for a slot whose row cannot be found: a slot table that does not fit
// its page, an overflow pointer that leads off the table's pages. A moved row is reported
// at its slot, as a table scan reports it. Bytes at or past `file_end` (a file offset) were
// not in the file, which was cut short and completed with zeros: a row reaching into them is
// unreadable too.
void ScanOwnedRows(Pager& pager, uint32_t owner, const std::vector<uint32_t>& pages,
                   uint64_t file_end, const std::function<void(RowPointer, ByteView)>& row,
                   const std::function<void(RowPointer)>& unreadable);

// The definition stored at `page`, read from its chain of definition pages. Throws kCorrupt
// when a page of the chain is not a definition page, the chain loops, or it does not decode.
TableDefinition ReadDefinition(Pager& pager, uint32_t page);

}  // namespace jet::compact
