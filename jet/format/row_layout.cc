#include "jet/format/row_layout.h"

#include <algorithm>

namespace jet {

size_t FixedSizeOf(const ColumnDefinition& c) {
  switch (c.type) {
    case ColumnType::kBoolean:
      return 0;
    case ColumnType::kByte:
      return 1;
    case ColumnType::kInteger:
      return 2;
    case ColumnType::kLong:
      return 4;
    case ColumnType::kCurrency:
      return 8;
    case ColumnType::kSingle:
      return 4;
    case ColumnType::kDouble:
      return 8;
    case ColumnType::kDateTime:
      return 8;
    case ColumnType::kGuid:
      return 16;
    case ColumnType::kNumeric:
      return 17;
    default:
      return c.length;
  }
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
