// Builds a stored row from column values: the inverse of row_reader.h. Memo and OLE columns
// arrive already turned into their stored form (12-byte header + inline bytes), because
// placing long values on their own pages is the table layer's job.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/format/row_layout.h"
#include "jet/format/table_definition.h"
#include "jet/format/value.h"

namespace jet {

// The largest row Access reads back.
inline constexpr size_t kMaxRowSize = 4060;

// The stored bytes of one non-long-value column. The value must already be of the column's
// kind (the SQL layer converts first): anything else, or an integer out of the column's
// range, throws kInvalid. Throws kConstraint when text is longer than the column.
std::vector<uint8_t> EncodeColumnValue(const ColumnDefinition& column, const Value& value);

// A row's variable-offset table, just after its variable data: the data's end, each slot's
// start stored last slot first, then the slot count. None when the table has no slots.
constexpr size_t OffsetTableSize(size_t slots) {
  return slots > 0 ? 4 + 2 * slots : 0;
}
// REQUIRES: `slots` > 0 and OffsetTableSize(slots) bytes of room at `table`.
void PutOffsetTable(uint8_t* table, size_t data_end, const uint16_t* starts, size_t slots);

// One entry per column of `def.columns` (same order): nullopt for NULL, else the stored bytes.
// `booleans` gives Boolean columns' values (indexed the same way, nonzero for true). Throws
// kConstraint ("record is too large") when the row exceeds kMaxRowSize.
// REQUIRES: `layout` is LayoutOf(def).
std::vector<uint8_t> AssembleRow(const TableDefinition& def, const RowLayout& layout,
                                 const std::vector<std::optional<std::vector<uint8_t>>>& columns,
                                 const std::vector<uint8_t>& booleans);

// The same for column bytes held elsewhere, into `row` (its capacity is kept).
void AssembleRowInto(const TableDefinition& def, const RowLayout& layout,
                     const std::vector<std::optional<ByteView>>& columns,
                     const std::vector<uint8_t>& booleans, std::vector<uint8_t>& row);

}  // namespace jet
