// A fully fetched result: no engine cursor stays open on the table. Columns are found by
// name without regard to letter case. AddRow writes a new row of the result's table at once.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace db {

class DbConnection;

// A query's result as the contract hands it on: every value already in its text form, so
// nothing of the engine's value types crosses into the layers above.
struct FetchedRows {
  std::string table;  // the local table the rows come from ("" for external sources)
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};

class RowCursor {
 public:
  RowCursor(DbConnection* connection, FetchedRows result);

  bool AtEnd() const { return closed_ || position_ >= result_.rows.size(); }
  void MoveNext();
  void CloseRows();
  bool IsOpen() const { return !closed_; }

  bool HasColumn(const std::string& name) const;
  // The current row's value as text: NULL as "", integers as decimal digits (with "-"),
  // currency with four decimals, dates as "yyyy-mm-dd hh:mm:ss". Throws DbFailure for a
  // missing column or when there is no current row.
  std::string ColumnText(const std::string& name) const;
  // Adds one row to the result's table: (column name, text) pairs. Throws DbFailure.
  void AddRow(const std::vector<std::pair<std::string, std::string>>& values);

  const std::vector<std::string>& Columns() const { return result_.columns; }
  size_t RowCount() const { return result_.rows.size(); }

 private:
  size_t ColumnIndex(const std::string& name) const;

  DbConnection* connection_;
  FetchedRows result_;
  size_t position_ = 0;
  bool closed_ = false;
};

}  // namespace db
