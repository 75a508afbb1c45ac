// Writes a table definition back to its pages: the first page keeps its number (the catalog
// and every data page refer to it); continuation pages are reused, added or freed as the
// definition grows or shrinks.
#pragma once

#include <cstdint>

#include "jet/file/pager.h"
#include "jet/format/table_definition.h"
#include "jet/table/page_allocator.h"

namespace jet {

void WriteDefinition(Pager& pager, PageAllocator& allocator, uint32_t first_page,
                     const TableDefinition& def);

}  // namespace jet
