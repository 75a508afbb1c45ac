// A session on one database file: runs Jet SQL statements, each as one transaction (all of
// it or nothing), fetches query results whole, and adds single rows with the conversion
// rules of the database contract. The file is opened for reading and reopened for writing
// (with an exclusive lock) at the first statement that changes it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/format/value.h"
#include "jet/table/database.h"

namespace jet::sql {

struct ResultSet {
  std::vector<std::string> columns;
  std::vector<ColumnDefinition> definitions;  // of the result's columns, where they come from one
  std::vector<std::vector<Value>> rows;
  std::string table;  // the local table the rows come from ("" for external sources)
};

class Session {
 public:
  // Opens `path`. Errors (missing file, not a database, wrong password, in use) are thrown
  // as JetError with the product's wording.
  Session(const std::filesystem::path& path, std::string password);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Runs a statement; returns the rows it affected (0 for DDL; the row count for SELECT).
  size_t Execute(std::string_view statement);
  // Runs a SELECT and returns its whole result.
  ResultSet Query(std::string_view statement);
  // Adds one row to `table`: (column name, text) pairs, converted by the contract's rules.
  void AddRow(const std::string& table, const std::vector<std::pair<std::string, std::string>>& values);

  // User tables and views (saved select queries), in catalog order.
  std::vector<std::string> ListTablesAndViews();

  Database& database() { return *db_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  class Executor;
  void EnsureWritable();

  std::filesystem::path path_;
  std::string password_;
  std::unique_ptr<Database> db_;
};

}  // namespace jet::sql
