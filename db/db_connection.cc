#include "db/db_connection.h"

#include <new>

#include "base/utf8_path.h"
#include "db/connection_string.h"
#include "jet/error.h"
#include "jet/format/value.h"
#include "jet/sql/parser.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"

namespace db {
namespace {

// Runs `f`, turning every engine error into a DbFailure.
template <typename F>
auto Guarded(F f) -> decltype(f()) {
  try {
    return f();
  } catch (const DbFailure&) {
    throw;
  } catch (const jet::JetError& e) {
    throw DbFailure(e.what());
  } catch (const std::bad_alloc&) {
    throw DbFailure(jet::Problem::kOutOfMemory);
  } catch (const std::exception& e) {
    // Not a failure the engine foresaw: the program's own words, quoted, for support staff.
    throw DbFailure(jet::Problem::kUnexpected, {.detail = e.what()});
  }
}

// A result's values in the text the contract hands on: NULL as "", dates as
// "yyyy-mm-dd hh:mm:ss", everything else as the engine writes it as text.
FetchedRows Fetched(jet::sql::ResultSet result) {
  FetchedRows fetched;
  fetched.table = std::move(result.table);
  fetched.columns = std::move(result.columns);
  fetched.rows.reserve(result.rows.size());
  for (const std::vector<jet::Value>& row : result.rows) {
    std::vector<std::string>& texts = fetched.rows.emplace_back();
    texts.reserve(row.size());
    for (const jet::Value& v : row) {
      if (v.kind == jet::ValueKind::kDateTime) {
        std::string text = jet::FormatOleDate(v.real);
        if (text.size() > 10) text[10] = ' ';
        texts.push_back(std::move(text));
      } else {
        texts.push_back(jet::ValueToText(v));
      }
    }
  }
  return fetched;
}

}  // namespace

DbConnection::DbConnection() = default;
DbConnection::~DbConnection() = default;

jet::sql::Session& DbConnection::Open() {
  if (session_) return *session_;
  if (connection_string_.empty()) throw DbFailure(jet::Problem::kNotConnected);
  ConnectionString cs = ParseConnectionString(connection_string_);
  session_ = Guarded([&] {
    return std::make_unique<jet::sql::Session>(base::PathFromUtf8(cs.data_source), cs.password);
  });
  return *session_;
}

void DbConnection::Connect(const std::string& connection_string) {
  session_.reset();
  connection_string_ = connection_string;
  Open();
}

void DbConnection::Disconnect() {
  session_.reset();
}

std::vector<std::string> DbConnection::ListUserTables() {
  Notify({.op = ContractOp::kListUserTables, .connection = *this});
  jet::sql::Session& s = Open();
  return Guarded([&] { return s.ListTablesAndViews(); });
}

size_t DbConnection::RunStatement(const std::string& text) {
  return RunStatement(nullptr, text);
}

std::unique_ptr<RowCursor> DbConnection::OpenRows(const std::string& text) {
  return OpenRows(nullptr, text);
}

std::unique_ptr<RowCursor> DbConnection::OpenColumns(const std::string& text) {
  return OpenColumns(nullptr, text);
}

size_t DbConnection::RunStatement(const Query* via, const std::string& text) {
  Notify({.op = ContractOp::kRunStatement, .connection = *this, .query = via, .text = text});
  jet::sql::Session& s = Open();
  return Guarded([&] { return s.Execute(text); });
}

std::unique_ptr<RowCursor> DbConnection::OpenRows(const Query* via, const std::string& text) {
  Notify({.op = ContractOp::kOpenRows, .connection = *this, .query = via, .text = text});
  jet::sql::Session& s = Open();
  return Guarded([&] { return std::make_unique<RowCursor>(this, Fetched(s.Query(text))); });
}

std::unique_ptr<RowCursor> DbConnection::OpenColumns(const Query* via, const std::string& text) {
  Notify({.op = ContractOp::kOpenColumns, .connection = *this, .query = via, .text = text});
  jet::sql::Session& s = Open();
  return Guarded([&] { return std::make_unique<RowCursor>(this, Fetched(s.Query(text, 0))); });
}

size_t DbConnection::RunOnRecordset(Recordset& recordset, const std::string& text) {
  Notify({.op = ContractOp::kRunOnRecordset,
          .connection = *this,
          .recordset = &recordset,
          .text = text});
  jet::sql::Session& s = Open();
  recordset.Close();
  if (jet::sql::ReturnsRows(text)) {
    recordset.rows_ =
        Guarded([&] { return std::make_shared<RowCursor>(this, Fetched(s.Query(text))); });
    return recordset.rows_->RowCount();
  }
  return Guarded([&] { return s.Execute(text); });
}

void DbConnection::CheckIntegrity(const std::vector<std::string>& rows_changed,
                                  const std::vector<std::string>& read, Scope scope) {
  if (observer_) {
    auto list = [](const std::vector<std::string>& names) {
      std::string out;
      for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
      return out;
    };
    const std::string tables = list(rows_changed) + "; " + list(read);
    Notify({.op = ContractOp::kCheckIntegrity, .connection = *this, .text = tables});
  }
  jet::sql::Session& s = Open();
  Guarded([&] {
    if (scope == Scope::kWholeFile) {
      jet::RefuseIfDamaged(s.database(), {.whole_file = true});
    } else {
      jet::RefuseIfDamaged(s.database(), {rows_changed, read});
    }
  });
}

std::vector<std::optional<std::vector<ColumnShape>>> DbConnection::DescribeTables(
    const std::vector<std::string>& tables) {
  if (observer_) {
    std::string text;
    for (const std::string& t : tables) text += (text.empty() ? "" : ", ") + t;
    Notify({.op = ContractOp::kDescribeTables, .connection = *this, .text = text});
  }
  jet::sql::Session& s = Open();
  return Guarded([&] {
    std::vector<std::optional<std::vector<ColumnShape>>> shapes;
    jet::Database& db = s.database();
    for (const std::string& name : tables) {
      const jet::CatalogEntry* entry = db.catalog().FindTable(name);
      if (!entry || entry->kind == jet::ObjectKind::kView) {
        shapes.emplace_back();
        continue;
      }
      std::vector<ColumnShape> columns;
      const jet::TableDefinition& def = db.Definition(entry->DefinitionPage());
      for (const jet::ColumnDefinition& c : def.columns) {
        using jet::ColumnType;
        const bool numeric = c.type == ColumnType::kByte || c.type == ColumnType::kInteger ||
                             c.type == ColumnType::kLong || c.type == ColumnType::kCurrency ||
                             c.type == ColumnType::kSingle || c.type == ColumnType::kDouble ||
                             c.type == ColumnType::kNumeric;
        columns.push_back({c.name, numeric, c.IsAutoNumber()});
      }
      shapes.emplace_back(std::move(columns));
    }
    return shapes;
  });
}

void DbConnection::PrepareToWrite() {
  Notify({.op = ContractOp::kPrepareToWrite, .connection = *this});
  jet::sql::Session& s = Open();
  Guarded([&] { s.PrepareToWrite(); });
}

int DbConnection::BeginTrans() {
  Notify({.op = ContractOp::kBeginTrans, .connection = *this});
  jet::sql::Session& s = Open();
  return Guarded([&] { return s.BeginTransaction(); });
}

void DbConnection::CommitTrans() {
  Notify({.op = ContractOp::kCommitTrans, .connection = *this});
  jet::sql::Session& s = Open();
  Guarded([&] { s.CommitTransaction(); });
}

void DbConnection::RollbackTrans() {
  Notify({.op = ContractOp::kRollbackTrans, .connection = *this});
  jet::sql::Session& s = Open();
  Guarded([&] { s.RollbackTransaction(); });
}

void DbConnection::BeginGroupCommit() {
  jet::sql::Session& s = Open();
  s.BeginGroup();
}

void DbConnection::CommitGroup() {
  if (!session_) return;
  Guarded([&] { session_->CommitGroup(); });
}

void DbConnection::EndGroupCommit() {
  if (!session_) return;
  Guarded([&] { session_->EndGroup(); });
}

int DbConnection::TransactionLevel() const {
  return session_ ? session_->transaction_level() : 0;
}

void DbConnection::AddRowTo(const RowCursor& cursor, const std::string& table,
                            const std::vector<std::pair<std::string, std::string>>& values) {
  Notify({.op = ContractOp::kAddRow,
          .connection = *this,
          .cursor = &cursor,
          .text = table,
          .values = &values});
  jet::sql::Session& s = Open();
  Guarded([&] { s.AddRow(table, values); });
}

}  // namespace db
