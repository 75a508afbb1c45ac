// Runs parsed statements on one open database: SELECT into a result; INSERT, DELETE,
// CREATE TABLE, ALTER TABLE ... ADD and SELECT ... INTO as changes; and the contract's
// single-row add. It opens no transaction of its own: the session makes each change one
// statement (its own transaction, or a savepoint inside an explicit one).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "jet/error.h"
#include "jet/sql/ast.h"
#include "jet/sql/result_set.h"
#include "jet/table/database.h"

namespace jet::sql {

class StatementExecutor {
 public:
  // `path` is the one `db` was opened from; failures of a change name it.
  StatementExecutor(Database& db, const std::filesystem::path& path);

  // Runs a SELECT without INTO, cut to `max_rows` rows; with 0 the columns alone.
  ResultSet RunSelect(Select& select, size_t max_rows);
  // Runs any other statement; returns the rows it affected (0 for DDL).
  size_t RunChange(Statement& statement);
  // Adds one row to `table`: (column name, text) pairs, converted by the contract's rules.
  void AddRow(const std::string& table,
              const std::vector<std::pair<std::string, std::string>>& values);

 private:
  size_t RunCreate(const CreateTable& c);
  size_t RunAlter(const AlterTableAdd& a);
  size_t RunInsert(Insert& ins);
  size_t RunSelectInto(Select& select);
  size_t RunDelete(Delete& d);

  // A user table of this database a statement may change; refuses a system table, a saved
  // query and a table of another file.
  const CatalogEntry* LocalTable(const std::string& name);
  const CatalogEntry* LocalTarget(const TableRef& ref);
  void RequireNewTable(const std::string& name);
  // The facts a failure while changing `table` gets, unless it names others already (a
  // source table in another file, say): the table and this file.
  ErrorFacts Changing(const std::string& table) const;

  Database& db_;
  std::filesystem::path path_;
  std::string file_;  // the path, as messages name it
};

}  // namespace jet::sql
