#include "jet/format/row_layout.h"

#include <algorithm>

namespace jet {

size_t FixedSizeOf(const ColumnDefinition& c) {
  if (c.type == ColumnType::kBoolean) return 0;
  const size_t size = FixedTypeSize(c.type);
  return size != 0 ? size : c.length;
}

RowLayout LayoutOf(const TableDefinition& def) {
  RowLayout layout;
  layout.column_count = def.next_column_id;
  layout.variable_slots = def.variable_columns;
  layout.columns.reserve(def.columns.size());
  for (const ColumnDefinition& c : def.columns) {
    ColumnPlace place;
    place.id = c.id;
    if (c.type == ColumnType::kBoolean) {
      place.kind = ColumnPlace::Kind::kBoolean;
    } else if (c.IsFixed()) {
      place.kind = ColumnPlace::Kind::kFixed;
      place.fixed_offset = c.fixed_offset;
      place.size = FixedSizeOf(c);
      layout.fixed_end = std::max(layout.fixed_end, size_t{c.fixed_offset} + place.size);
    } else {
      place.kind = ColumnPlace::Kind::kVariable;
      place.variable_index = c.variable_index;
      layout.first_variable_id = std::min(layout.first_variable_id, size_t{c.id});
    }
    layout.columns.push_back(place);
  }
  return layout;
}

}  // namespace jet
