// Reading rows by pointer from data pages: the common step under table scans, usage maps
// and long values. Follows overflow pointers with a hop limit, so a cycle is an error.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/file/pager.h"
#include "jet/format/bytes.h"
#include "jet/format/row_pointer.h"

namespace jet {

// The bytes of the row at `where`, which must be a data page row that is not deleted,
// holding their page.
PinnedView ReadStoredRow(Pager& pager, RowPointer where);

// The pages listed by the usage map stored at `where`.
std::vector<uint32_t> ReadUsageMap(Pager& pager, RowPointer where);

// The whole value of a memo/OLE column from its stored header (inline, one row or a chain).
// Throws kCorrupt on a cycle, a chain that ends early, or a length the file cannot hold.
std::vector<uint8_t> ReadLongValue(Pager& pager, ByteView stored);

}  // namespace jet
