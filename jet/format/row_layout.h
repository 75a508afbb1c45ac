// Where a table's columns sit in its stored rows, worked out once from the definition. A
// scan splits, and a copy assembles, every row by it, without walking the column
// definitions (large structs with names and sort orders) again for each row. The row
// layout itself: doc/jet4-format.md §5.2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/format/table_definition.h"

namespace jet {

// Fixed storage size of a column type, or 0 for variable-only types.
size_t FixedSizeOf(const ColumnDefinition& column);

struct ColumnPlace {
  enum class Kind : uint8_t { kBoolean, kFixed, kVariable };
  Kind kind = Kind::kFixed;
  uint16_t id = 0;              // its bit in the null mask
  uint16_t fixed_offset = 0;    // kFixed: where it starts, from the row's start + 2
  uint16_t variable_index = 0;  // kVariable: its slot in the offset table
  size_t size = 0;              // kFixed: FixedSizeOf
};

struct RowLayout {
  std::vector<ColumnPlace> columns;     // one per column of the definition, in its order
  size_t fixed_end = 0;                 // where the fixed values end, from the row's start + 2
  size_t first_variable_id = SIZE_MAX;  // the smallest id of a variable column
  size_t column_count = 0;              // the column count a new row records
  size_t variable_slots = 0;            // the offset table's slots in a new row
};

RowLayout LayoutOf(const TableDefinition& def);

}  // namespace jet
