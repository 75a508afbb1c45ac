// A session on one database file: runs Jet SQL statements, fetches query results whole, and
// adds single rows with the conversion rules of the database contract. Each statement is
// all of it or nothing: on its own it is one transaction; inside an explicit transaction a
// failed statement is undone alone and the transaction goes on. The file is opened for
// reading and reopened for writing (with an exclusive lock) at the first change. The session
// keeps the file, the transactions, savepoints and group commit; StatementExecutor runs the
// statements themselves.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/format/value.h"
#include "jet/sql/result_set.h"
#include "jet/table/database.h"

namespace jet {
struct ErrorFacts;
}  // namespace jet

namespace jet::sql {

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
  static constexpr size_t kAllRows = std::numeric_limits<size_t>::max();
  // Runs a SELECT and returns its result, cut to `max_rows` rows. With 0 it returns the
  // columns alone, without reading the table's rows.
  ResultSet Query(std::string_view statement, size_t max_rows = kAllRows);
  // Adds one row to `table`: (column name, text) pairs, converted by the contract's rules.
  void AddRow(const std::string& table,
              const std::vector<std::pair<std::string, std::string>>& values);

  // User tables and views (saved select queries), in catalog order.
  std::vector<std::string> ListTablesAndViews();

  // Explicit transactions, which nest. Statements, DDL included, run inside take effect for
  // good at the outermost commit; a rollback undoes everything since its matching begin.
  // Begin returns the new level (1 for the outermost). Closing the session drops what an
  // unfinished transaction changed.
  int BeginTransaction();
  void CommitTransaction();
  void RollbackTransaction();
  int transaction_level() const { return transaction_level_; }

  // Proves that a change could be committed: opens the file for writing and creates its
  // journal. Throws JetError (read-only file, in use, a directory that takes no new file).
  void PrepareToWrite();

  // Group commit, for a run of many statements whose durability can wait: from BeginGroup
  // on, a statement outside an explicit transaction still takes effect alone or not at all,
  // but is made durable only at the next CommitGroup, together with the others. A crash in
  // between leaves the file as at the last durable commit. CommitGroup inside an explicit
  // transaction does nothing (the transaction's commit is the durable one); EndGroup commits
  // and returns to one commit per statement. Closing the session commits a pending group.
  void BeginGroup();
  void CommitGroup();
  void EndGroup();
  bool in_group() const { return group_; }

  Database& database() { return *db_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  // This file, for failures that do not name it yet.
  ErrorFacts FileFacts() const;
  // Throws kFileNotFound when a failed reopen for writing left the session without a file.
  void RequireOpen() const;
  void EnsureWritable();
  // Runs `change` as one statement: its own transaction, or a savepoint inside an explicit one.
  size_t RunChange(const std::function<size_t()>& change);
  // Commits the engine transaction, the durable step of a statement, group or transaction.
  void CommitDurably();
  // Opens the engine transaction that the group's statements share, if not yet open.
  void EnsureGroupTransaction();

  std::filesystem::path path_;
  std::string password_;
  std::unique_ptr<Database> db_;

  int transaction_level_ = 0;
  bool group_ = false;
  bool group_pending_ = false;      // the engine transaction is open for the group's statements
  bool explicit_in_group_ = false;  // the outermost explicit transaction is a savepoint
};

}  // namespace jet::sql
