// A watcher at the contract's edge: it is told of every call a caller makes on a connection
// (statement, query, table list, added row, transaction, integrity check) just before the call
// reaches the engine, with the query component or recordset it came through. It exists so that a
// test can compare what an upgrade run sends with what it must send, and can arm a fault for one
// chosen statement. A connection without one pays a single pointer test per call.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace db {

class DbConnection;
class Query;
class Recordset;
class RowCursor;

enum class ContractOp {
  kListUserTables,
  kRunStatement,
  kOpenRows,
  kOpenColumns,
  kRunOnRecordset,
  kAddRow,
  kBeginTrans,
  kCommitTrans,
  kRollbackTrans,
  kCheckIntegrity,
  kDescribeTables,
  kPrepareToWrite,
};

struct ContractCall {
  ContractOp op;
  const DbConnection& connection;
  // What the call came through: a query component, the recordset a statement is opened on,
  // or the result a row is added to. All null for a call on the connection itself.
  const Query* query = nullptr;
  const Recordset* recordset = nullptr;  // its settings are those the statement opens with
  const RowCursor* cursor = nullptr;
  // The statement or query; for kAddRow the table; for kCheckIntegrity the tables whose
  // rows change and those that are read ("search; search, sj"); for kDescribeTables the
  // tables ("search, Customer").
  std::string_view text = {};
  const std::vector<std::pair<std::string, std::string>>* values = nullptr;  // kAddRow
};

class ContractObserver {
 public:
  virtual ~ContractObserver() = default;
  // Before the engine sees the call, even before a closed connection is opened. A DbFailure
  // thrown here fails the call as a refusal by the engine would.
  virtual void Before(const ContractCall& call) = 0;
};

}  // namespace db
