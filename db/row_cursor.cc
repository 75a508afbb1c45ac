#include "db/row_cursor.h"

#include "base/unicode.h"
#include "db/db_connection.h"
#include "db/db_failure.h"

namespace db {

RowCursor::RowCursor(DbConnection* connection, FetchedRows result)
    : connection_(connection), result_(std::move(result)) {}

void RowCursor::MoveNext() {
  if (AtEnd()) throw DbFailure(jet::Problem::kNoCurrentRecord);
  ++position_;
}

void RowCursor::CloseRows() {
  closed_ = true;
  result_.rows.clear();
}

size_t RowCursor::ColumnIndex(const std::string& name) const {
  for (size_t i = 0; i < result_.columns.size(); ++i) {
    if (base::EqualsIgnoreCase(result_.columns[i], name)) return i;
  }
  throw DbFailure(jet::Problem::kItemNotFound, {.name = name});
}

bool RowCursor::HasColumn(const std::string& name) const {
  for (const auto& c : result_.columns) {
    if (base::EqualsIgnoreCase(c, name)) return true;
  }
  return false;
}

std::string RowCursor::ColumnText(const std::string& name) const {
  size_t i = ColumnIndex(name);
  if (AtEnd()) throw DbFailure(jet::Problem::kNoCurrentRecord);
  return result_.rows[position_][i];
}

void RowCursor::AddRow(const std::vector<std::pair<std::string, std::string>>& values) {
  if (result_.table.empty()) throw DbFailure(jet::Problem::kNotUpdatable);
  connection_->AddRowTo(*this, result_.table, values);
}

}  // namespace db
