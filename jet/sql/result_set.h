// What a query gives back: its columns' names and, where a column is a table's own, that
// column's definition, and its rows whole.
#pragma once

#include <string>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/format/value.h"

namespace jet::sql {

struct ResultSet {
  std::vector<std::string> columns;
  std::vector<ColumnDefinition> definitions;  // of the result's columns, where they come from one
  std::vector<std::vector<Value>> rows;
  std::string table;  // the local table the rows come from ("" for external sources)
};

}  // namespace jet::sql
