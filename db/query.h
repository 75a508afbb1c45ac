// A query component: statements run on one connection, and the result it has open. The
// window owns three of them for its whole life; an upgrade run puts each to a fixed use.
// Every open closes the previous result first, so nothing read earlier is ever reused.
#pragma once

#include <memory>
#include <string>

#include "db/row_cursor.h"

namespace db {

class DbConnection;

class Query {
 public:
  Query() = default;
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  void SetConnection(DbConnection* connection) { connection_ = connection; }
  DbConnection* Connection() const { return connection_; }

  // Closes the open result, if any.
  void Close() { rows_.reset(); }
  // Opens `text` and fetches its whole result.
  void Open(const std::string& text);
  // Opens `text` for its columns alone (see DbConnection::OpenColumns).
  void OpenColumns(const std::string& text);
  // Runs a statement that returns no rows; returns the rows it affected. The open result,
  // if any, stays open.
  size_t ExecSQL(const std::string& text);

  bool Active() const { return rows_ != nullptr; }
  // The open result. Throws DbFailure when none is open.
  RowCursor& Rows();

 private:
  DbConnection& RequireConnection() const;

  DbConnection* connection_ = nullptr;
  std::unique_ptr<RowCursor> rows_;
};

}  // namespace db
