// What one upgrade run did to the data file, for the headless tool's report. A failed run
// keeps what it did before the failure (committed work stays in the file).
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace upgrade {

struct UpgradeSummary {
  bool succeeded = false;
  std::string failure;  // the failure's message when !succeeded

  std::vector<std::string> tables_created;  // catalogue and reference tables, in order
  std::vector<std::string> columns_added;   // "Table.column", in order
  std::vector<std::pair<std::string, size_t>> reference_rows;  // rows copied per table

  // The search-definition rows: groups 10 and 11 refreshed from the template, and the
  // fixed rows 85 to 89.
  size_t search_group_rows_deleted = 0;
  size_t search_group_rows_copied = 0;
  size_t search_fixed_rows_deleted = 0;
  size_t search_fixed_rows_written = 0;

  bool ChangedAnything() const {
    return !tables_created.empty() || !columns_added.empty() || search_group_rows_deleted > 0 ||
           search_group_rows_copied > 0 || search_fixed_rows_written > 0;
  }
};

}  // namespace upgrade
