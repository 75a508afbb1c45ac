// The table a statement reads from: one of the session's database, or one of another Jet
// file named by an IN clause, opened for reading for the statement alone.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "jet/sql/ast.h"
#include "jet/table/database.h"
#include "jet/table/table.h"

namespace jet::sql {

struct Source {
  Database* db = nullptr;           // the database `table` belongs to
  std::unique_ptr<Database> owned;  // set when that is another file's
  std::optional<Table> table;
  TableRef ref;
};

// Opens `ref` for reading: in `local` (opened from `local_path`), or in the file its IN clause
// names unless that is the same file. A saved query is refused (kSavedQuerySource), as is a
// name the catalog lacks (kTableNotFound); a failure to open the table names it and its file.
Source OpenSource(Database& local, const std::filesystem::path& local_path, const TableRef& ref);

}  // namespace jet::sql
