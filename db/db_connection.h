// A connection to one database file, opened from a provider connection string. A closed
// connection reopens with its kept string at its next use. Every failure is a DbFailure.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/contract_observer.h"
#include "db/db_failure.h"
#include "db/recordset.h"
#include "db/row_cursor.h"
#include "jet/sql/session.h"

namespace db {

// What a caller may need to know of a column before it relies on it.
struct ColumnShape {
  std::string name;
  bool numeric = false;     // a number type: Byte, Integer, Long, Currency, Single, Double, Decimal
  bool autonumber = false;  // the engine assigns its values
};

class DbConnection {
 public:
  DbConnection() = default;
  ~DbConnection();
  DbConnection(const DbConnection&) = delete;
  DbConnection& operator=(const DbConnection&) = delete;

  // Keeps `connection_string`, then opens. A failed open leaves the connection closed with
  // the string kept.
  void Connect(const std::string& connection_string);
  // Closes; does nothing on a closed connection. Row sets already fetched stay usable. An
  // unfinished transaction's changes are dropped.
  void Disconnect();
  bool IsOpen() const { return session_ != nullptr; }
  const std::string& connection_string() const { return connection_string_; }

  // Names of the user tables and views, in catalog order.
  std::vector<std::string> ListUserTables();
  // Runs one statement that returns no rows; returns the rows it affected.
  size_t RunStatement(const std::string& text);
  // Runs a query and fetches its whole result.
  std::unique_ptr<RowCursor> OpenRows(const std::string& text);
  // Runs a query for its columns alone, reading no rows: for a caller that only looks at the
  // result's shape or adds rows to it. The cursor starts at its end.
  std::unique_ptr<RowCursor> OpenColumns(const std::string& text);
  // Opens `text` on `recordset` with this connection (static cursor, pessimistic locks):
  // a statement that returns no rows leaves the recordset closed. Returns the rows it
  // affected (or fetched).
  size_t RunOnRecordset(Recordset& recordset, const std::string& text);

  // Checks the file before a series of changes (see jet/table/checker.h). With
  // kTablesNamed: the references of every table, the structure of the tables whose rows will
  // change, and the rows of the tables that will be read. With kWholeFile: all that and every
  // other table too, as `jetdb check` checks a file (every table's structures, rows, long
  // values and indexes, and every page), passing only what Access itself leaves in files. A
  // damaged file fails here, before anything is written, with a message that says what is
  // damaged and what to do.
  enum class Scope { kTablesNamed, kWholeFile };
  void CheckIntegrity(const std::vector<std::string>& rows_changed,
                      const std::vector<std::string>& read, Scope scope = Scope::kTablesNamed);

  // The columns of each of `tables` (without regard to letter case), in the table's order;
  // nullopt for a name that is no table of the file (or is a view). Reads definitions only.
  std::vector<std::optional<std::vector<ColumnShape>>> DescribeTables(
      const std::vector<std::string>& tables);

  // Proves, before a series of changes, that they could be committed: the file opens for
  // writing and its journal can be created beside it. Changes nothing in the file.
  void PrepareToWrite();

  // Transactions, under ADO's names; they nest. Everything run in between, DDL and reads of
  // other files included, takes effect at the outermost CommitTrans or not at all. Outside
  // a transaction each statement is its own. BeginTrans returns the new nesting level.
  int BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  int TransactionLevel() const;

  // Group commit, for a long run of statements: from BeginGroupCommit on, each statement
  // outside a transaction still takes effect alone or not at all, but they are made durable
  // together, at CommitGroup (a crash in between loses only what came after the last one).
  // EndGroupCommit commits and returns to one durable commit per statement; closing the
  // connection commits too. Inside a transaction CommitGroup does nothing. These change
  // only when the disk is told, not what any statement does, so no observer hears of them.
  void BeginGroupCommit();
  void CommitGroup();
  void EndGroupCommit();

  // Used by RowCursor::AddRow.
  void AddRowTo(const RowCursor& cursor, const std::string& table,
                const std::vector<std::pair<std::string, std::string>>& values);

  // Tells `observer` of every call from now on (nullptr: no one). It outlives its use here.
  void SetObserver(ContractObserver* observer) { observer_ = observer; }

 private:
  friend class Query;  // its statements and queries run here, named as coming through it

  jet::sql::Session& Open();
  void Notify(const ContractCall& call) const {
    if (observer_) observer_->Before(call);
  }
  size_t RunStatement(const Query* via, const std::string& text);
  std::unique_ptr<RowCursor> OpenRows(const Query* via, const std::string& text);
  std::unique_ptr<RowCursor> OpenColumns(const Query* via, const std::string& text);

  std::string connection_string_;
  std::unique_ptr<jet::sql::Session> session_;
  ContractObserver* observer_ = nullptr;
};

}  // namespace db
