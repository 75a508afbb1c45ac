// Loading many rows into one table of a session's database as one transaction, through the
// table writer rather than one INSERT statement per row: the demo's large tables (hundreds of
// thousands of rows) then take seconds, and their indexes are written once, at Commit().
// Values are checked against the column types, since the writer stores whatever it is given.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/format/value.h"
#include "jet/sql/session.h"
#include "jet/table/database.h"
#include "jet/table/table_writer.h"

namespace demo {

class TableLoad {
 public:
  // `columns` names the columns Insert() supplies, in the order it supplies them; the table's
  // other columns are NULL (an autonumber column then gets the next number). The table must
  // exist, and the session must already have written (so that its file is open for writing).
  TableLoad(jet::sql::Session& session, std::string_view table,
            std::initializer_list<std::string_view> columns);

  // One row: a jet::Value per column named at construction, in that order.
  template <typename... Values>
  void Insert(Values&&... values) {
    CheckWidth(sizeof...(values));
    std::vector<jet::Value> row(writer_.definition().columns.size());
    size_t i = 0;
    ((row[positions_[i++]] = std::forward<Values>(values)), ...);
    Store(std::move(row));
  }
  // Writes the indexes and the table definition and commits. Without it the rows are
  // rolled back when the load is destroyed.
  void Commit();

 private:
  void CheckWidth(size_t values) const;
  void Store(std::vector<jet::Value> row);

  jet::Transaction transaction_;
  jet::TableWriter writer_;
  std::vector<size_t> positions_;  // per supplied column, its place in the definition
};

}  // namespace demo
