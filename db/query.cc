#include "db/query.h"

#include "db/db_connection.h"
#include "db/db_failure.h"

namespace db {

DbConnection& Query::RequireConnection() const {
  if (!connection_) throw DbFailure(jet::Problem::kQueryNotConnected);
  return *connection_;
}

void Query::Open(const std::string& text) {
  Close();
  rows_ = RequireConnection().OpenRows(this, text);
}

void Query::OpenColumns(const std::string& text) {
  Close();
  rows_ = RequireConnection().OpenColumns(this, text);
}

size_t Query::ExecSQL(const std::string& text) {
  return RequireConnection().RunStatement(this, text);
}

RowCursor& Query::Rows() {
  if (!rows_) throw DbFailure(jet::Problem::kObjectClosed);
  return *rows_;
}

}  // namespace db
