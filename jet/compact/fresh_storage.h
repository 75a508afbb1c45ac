// A source table's definition with storage of its own in the new file: empty usage maps for
// its rows, free space and long values, an empty root page for every index. Everything the
// user sees (columns, their descriptors as stored, indexes and their flags, the autonumber
// counter) is the source's; the row count starts at zero and grows as rows are copied.
#pragma once

#include <cstdint>
#include <map>

#include "jet/file/pager.h"
#include "jet/format/table_definition.h"
#include "jet/table/page_allocator.h"

namespace jet::compact {

// REQUIRES: a transaction is open on `pager`. The maps go on `map_page` (0 for none yet)
// while it has room, then on a new page, which `map_page` names after. `definition_pages` maps each
// source table's definition page to its page in the new file: a relationship's index names the
// table it refers to by that page.
TableDefinition WithFreshStorage(Pager& pager, PageAllocator& allocator, uint32_t& map_page,
                                 uint32_t definition_page, const TableDefinition& source,
                                 const std::map<uint32_t, uint32_t>& definition_pages);

}  // namespace jet::compact
