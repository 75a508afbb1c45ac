#include "jet/sql/session.h"

#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/sql/parser.h"
#include "jet/sql/statement_executor.h"

namespace jet::sql {

Session::Session(const std::filesystem::path& path, std::string password)
    : path_(path), password_(std::move(password)) {
  db_ = Database::Open(path_, password_, Pager::Mode::kReadOnly);
}

Session::~Session() {
  if (!group_pending_ || transaction_level_ > 0) return;
  try {
    db_->Commit();
  } catch (...) {
    // Nobody is left to tell; the file stays as at its last durable commit.
  }
}

void Session::EnsureWritable() {
  if (db_->pager().mode() == Pager::Mode::kReadWrite) return;
  db_.reset();
  try {
    db_ = Database::Open(path_, password_, Pager::Mode::kReadWrite);
  } catch (...) {
    // Stay usable for reading; the write is refused with the open's message.
    try {
      db_ = Database::Open(path_, password_, Pager::Mode::kReadOnly);
    } catch (...) {
    }
    throw;
  }
}

size_t Session::Execute(std::string_view text) {
  RequireOpen();
  Statement s = Parse(text);
  if (s.kind == Statement::Kind::kSelect && !s.select.into) {
    return StatementExecutor(*db_, path_).RunSelect(s.select, kAllRows).rows.size();
  }
  // The executor is made inside: RunChange may reopen the file for writing.
  return RunChange([&] { return StatementExecutor(*db_, path_).RunChange(s); });
}

ResultSet Session::Query(std::string_view text, size_t max_rows) {
  RequireOpen();
  Statement s = Parse(text);
  if (s.kind != Statement::Kind::kSelect || s.select.into) {
    throw JetError(Problem::kSelectOnly);
  }
  return StatementExecutor(*db_, path_).RunSelect(s.select, max_rows);
}

void Session::AddRow(const std::string& table,
                     const std::vector<std::pair<std::string, std::string>>& values) {
  RequireOpen();
  RunChange([&] {
    StatementExecutor(*db_, path_).AddRow(table, values);
    return size_t{1};
  });
}

size_t Session::RunChange(const std::function<size_t()>& change) {
  if (transaction_level_ == 0 && !group_) {
    EnsureWritable();
    Transaction t(*db_);
    size_t affected = change();
    WithFacts(FileFacts(), [&] { t.Commit(); });
    return affected;
  }
  if (transaction_level_ == 0) EnsureGroupTransaction();
  db_->Savepoint();
  size_t affected = 0;
  try {
    affected = change();
  } catch (...) {
    try {
      db_->RollbackToSavepoint();
    } catch (...) {
      // Only the catalog reload can fail here; it fails again, clearly, at the next use.
    }
    throw;
  }
  db_->ReleaseSavepoint();
  return affected;
}

ErrorFacts Session::FileFacts() const {
  return {.file = base::PathToUtf8(path_)};
}

void Session::RequireOpen() const {
  if (!db_) throw JetError(Problem::kFileNotFound, FileFacts());
}

void Session::CommitDurably() {
  WithFacts(FileFacts(), [&] { db_->Commit(); });
}

void Session::EnsureGroupTransaction() {
  if (group_pending_) return;
  EnsureWritable();
  db_->Begin();
  group_pending_ = true;
}

int Session::BeginTransaction() {
  RequireOpen();
  if (transaction_level_ == 0 && group_) {
    EnsureGroupTransaction();
    db_->Savepoint();
    explicit_in_group_ = true;
  } else if (transaction_level_ == 0) {
    EnsureWritable();
    db_->Begin();
  } else {
    db_->Savepoint();
  }
  return ++transaction_level_;
}

void Session::CommitTransaction() {
  if (transaction_level_ == 0) throw JetError(Problem::kNoTransaction);
  if (--transaction_level_ > 0 || explicit_in_group_) {
    explicit_in_group_ = explicit_in_group_ && transaction_level_ > 0;
    db_->ReleaseSavepoint();
    if (!group_) CommitGroup();  // the group ended inside this transaction
    return;
  }
  CommitDurably();
}

void Session::RollbackTransaction() {
  if (transaction_level_ == 0) throw JetError(Problem::kNoTransaction);
  if (--transaction_level_ > 0 || explicit_in_group_) {
    explicit_in_group_ = explicit_in_group_ && transaction_level_ > 0;
    db_->RollbackToSavepoint();
    if (!group_) CommitGroup();  // the group ended inside this transaction
    return;
  }
  db_->Rollback();
}

void Session::PrepareToWrite() {
  RequireOpen();
  EnsureWritable();
  WithFacts(FileFacts(), [&] { db_->pager().PrepareJournal(); });
}

void Session::BeginGroup() {
  group_ = true;
}

void Session::CommitGroup() {
  if (!group_pending_ || transaction_level_ > 0) return;
  group_pending_ = false;
  CommitDurably();
}

void Session::EndGroup() {
  CommitGroup();
  group_ = false;
}

std::vector<std::string> Session::ListTablesAndViews() {
  RequireOpen();
  std::vector<std::string> names;
  for (const auto& e : db_->catalog().entries()) {
    if (e.kind == ObjectKind::kUserTable || e.kind == ObjectKind::kView) names.push_back(e.name);
  }
  return names;
}

}  // namespace jet::sql
