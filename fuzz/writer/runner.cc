#include "fuzz/writer/runner.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "jet/error.h"
#include "upgrade/product_database.h"

namespace fuzz::writer {
namespace {

std::string Bracket(const std::string& name) {
  return "[" + name + "]";
}

std::string ColumnSql(const Column& c) {
  std::string type;
  switch (c.kind) {
    case Kind::kLong:
      type = c.counter ? "COUNTER" : "LONG";
      break;
    case Kind::kCurrency:
      type = "CURRENCY";
      break;
    case Kind::kText:
      type = "VARCHAR(" + std::to_string(c.length) + ")";
      break;
    case Kind::kMemo:
      type = "TEXT";
      break;
  }
  return Bracket(c.name) + " " + type + (c.key ? " PRIMARY KEY" : "");
}

// The value a column of kind `to` stores for `cell` (of kind `from`), or nullopt when the
// engine must refuse it (text too long for its column).
std::optional<Cell> Convert(const Cell& cell, Kind from, const Column& to) {
  if (cell.null) return Cell{};
  Cell out;
  out.null = false;
  switch (to.kind) {
    case Kind::kLong:
      out.number = cell.number;  // only Long sources are chosen
      return out;
    case Kind::kCurrency:
      out.number = from == Kind::kLong ? cell.number * 10000 : cell.number;
      return out;
    case Kind::kText:
    case Kind::kMemo:
      out.text = from == Kind::kLong ? std::to_string(cell.number) : cell.text;
      if (to.kind == Kind::kText && Utf16Length(out.text) > static_cast<size_t>(to.length))
        return std::nullopt;
      return out;
  }
  return std::nullopt;
}

// True when `rows` hold two equal non-null values in column `key`.
bool DuplicateKey(const std::vector<Row>& rows, int key) {
  if (key < 0) return false;
  std::vector<int64_t> seen;
  for (const Row& r : rows) {
    const Cell& c = r[static_cast<size_t>(key)];
    if (!c.null) seen.push_back(c.number);
  }
  std::sort(seen.begin(), seen.end());
  return std::adjacent_find(seen.begin(), seen.end()) != seen.end();
}

bool NullKey(const Row& row, int key) {
  return key >= 0 && row[static_cast<size_t>(key)].null;
}

std::string WhereSql(const Condition* where, const Table& table) {
  return where ? " WHERE " + where->Sql(table) : "";
}

std::vector<Row> Matching(const Table& table, const Condition* where) {
  std::vector<Row> rows;
  for (const Row& r : table.rows) {
    if (!where || where->Test(r) == true) rows.push_back(r);
  }
  return rows;
}

Row Project(const Row& row, const std::vector<int>& columns) {
  Row out;
  for (int c : columns) out.push_back(row[static_cast<size_t>(c)]);
  return out;
}

}  // namespace

std::string Literal(const Cell& cell, Kind kind) {
  if (cell.null) return "NULL";
  switch (kind) {
    case Kind::kLong:
      return std::to_string(cell.number);
    case Kind::kCurrency: {
      int64_t magnitude = cell.number < 0 ? -cell.number : cell.number;
      std::string fraction = std::to_string(magnitude % 10000);
      return std::string(cell.number < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." +
             std::string(4 - fraction.size(), '0') + fraction;
    }
    case Kind::kText:
    case Kind::kMemo: {
      std::string out = "'";
      for (char c : cell.text) {
        out.push_back(c);
        if (c == '\'') out.push_back('\'');
      }
      return out + "'";
    }
  }
  return "NULL";
}

void ReportFault(const std::string& what, const std::vector<std::string>& log) {
  std::fprintf(stderr, "writer fault: %s\nstatements run:\n", what.c_str());
  for (const std::string& s : log) std::fprintf(stderr, "  %s\n", s.c_str());
  std::abort();
}

void Runner::Fault(const std::string& what) const {
  ReportFault(what, log_);
}

Runner::Runner(const std::filesystem::path& path, Model model)
    : path_(path),
      session_(std::make_unique<jet::sql::Session>(path, upgrade::kDatabasePassword)),
      model_(std::move(model)) {}

void Runner::Reopen() {
  log_.push_back("-- reopen");
  session_.reset();
  model_ = DurableModel();
  snapshots_.clear();
  session_ = std::make_unique<jet::sql::Session>(path_, upgrade::kDatabasePassword);
}

void Runner::Run(const std::string& sql, Expect expect, Model after, size_t affected) {
  log_.push_back(sql);
  size_t done = 0;
  try {
    done = session_->Execute(sql);
  } catch (const jet::JetError& e) {
    if (expect == Expect::kSuccess) Fault("refused: " + std::string(e.what()));
    log_.back() += "   -- refused: " + std::string(e.what());
    return;
  }
  if (expect == Expect::kRefusal) Fault("accepted a statement that must be refused");
  if (done != affected) {
    Fault("affected " + std::to_string(done) + " rows, not " + std::to_string(affected));
  }
  model_ = std::move(after);
}

std::vector<Row> Runner::Probe(const std::string& sql, const std::vector<Kind>& kinds,
                               const std::vector<Row>& expected) {
  log_.push_back(sql);
  jet::sql::ResultSet result;
  try {
    result = session_->Query(sql);
  } catch (const jet::JetError& e) {
    Fault("query refused: " + std::string(e.what()));
  }
  std::vector<Row> rows;
  for (const auto& values : result.rows) {
    if (values.size() != kinds.size()) Fault("query returned the wrong number of columns");
    Row row;
    for (size_t i = 0; i < values.size(); ++i) {
      Cell c;
      c.null = values[i].IsNull();
      if (!c.null) {
        if (kinds[i] == Kind::kText || kinds[i] == Kind::kMemo) {
          c.text = values[i].text;
        } else {
          c.number = values[i].integer;
        }
      }
      row.push_back(std::move(c));
    }
    rows.push_back(std::move(row));
  }
  std::vector<Row> got = rows, want = expected;
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  if (got != want) {
    Fault("query returned " + std::to_string(got.size()) + " rows, expected " +
          std::to_string(want.size()) + " (or their values differ)");
  }
  return rows;
}

void Runner::Create(const std::string& table, const std::vector<Column>& columns) {
  std::string sql = "CREATE TABLE " + Bracket(table) + " (";
  for (size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + ColumnSql(columns[i]);
  sql += ")";
  bool refused = model_.Find(table) != nullptr;
  for (size_t i = 0; i < columns.size(); ++i) {
    for (size_t k = 0; k < i; ++k) refused |= SameName(columns[i].name, columns[k].name);
  }
  Model after = model_;
  after.tables.push_back(Table{table, columns, {}, 1});
  Run(sql, refused ? Expect::kRefusal : Expect::kSuccess, std::move(after), 0);
}

void Runner::AddColumn(const std::string& table, const Column& column) {
  std::string sql = "ALTER TABLE " + Bracket(table) + " ADD COLUMN " + ColumnSql(column);
  Model after = model_;
  Table* t = after.Find(table);
  bool refused = t == nullptr;
  if (t) {
    for (const Column& c : t->columns) refused |= SameName(c.name, column.name);
    t->columns.push_back(column);
    for (Row& r : t->rows) r.push_back(Cell{});
  }
  Run(sql, refused ? Expect::kRefusal : Expect::kSuccess, std::move(after), 0);
}

void Runner::InsertValues(const std::string& table, const std::vector<int>& columns,
                          const std::vector<Cell>& values) {
  Model after = model_;
  Table* t = after.Find(table);
  if (!t) {
    Run("INSERT INTO " + Bracket(table) + " VALUES (1)", Expect::kRefusal, model_, 0);
    return;
  }
  std::string names, literals;
  Expect expect = Expect::kSuccess;
  Row row(t->columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = t->columns[static_cast<size_t>(columns[i])];
    names += (i ? "," : "") + Bracket(c.name);
    literals += (i ? "," : "") + Literal(values[i], c.kind);
    std::optional<Cell> stored = Convert(values[i], c.kind, c);
    if (!stored) expect = Expect::kRefusal;
    row[static_cast<size_t>(columns[i])] = stored.value_or(Cell{});
  }
  int counter = t->CounterColumn();
  if (counter >= 0) row[static_cast<size_t>(counter)] = Cell{false, t->next_counter++, {}};
  if (expect == Expect::kSuccess && NullKey(row, t->KeyColumn())) expect = Expect::kEither;
  t->rows.push_back(std::move(row));
  if (DuplicateKey(t->rows, t->KeyColumn())) expect = Expect::kRefusal;
  Run("INSERT INTO " + Bracket(t->name) + " (" + names + ") VALUES (" + literals + ")", expect,
      std::move(after), 1);
}

void Runner::Delete(const std::string& table, const Condition* where) {
  Model after = model_;
  Table* t = after.Find(table);
  if (!t) {
    Run("DELETE FROM " + Bracket(table), Expect::kRefusal, model_, 0);
    return;
  }
  std::string sql = "DELETE FROM " + Bracket(t->name) + WhereSql(where, *t);
  size_t before = t->rows.size();
  std::erase_if(t->rows, [&](const Row& r) { return !where || where->Test(r) == true; });
  size_t deleted = before - t->rows.size();
  Run(sql, Expect::kSuccess, std::move(after), deleted);
}

void Runner::InsertSelect(const std::string& target, const std::vector<int>& targets,
                          const std::string& source, const std::vector<int>& sources,
                          const Condition* where) {
  const Table* from = model_.Find(source);
  const Table* to = model_.Find(target);
  if (!from || !to) {
    Run("INSERT INTO " + Bracket(target) + " SELECT * FROM " + Bracket(source), Expect::kRefusal,
        model_, 0);
    return;
  }
  std::string select_list, target_list;
  std::vector<Kind> kinds;
  for (size_t i = 0; i < sources.size(); ++i) {
    select_list += (i ? "," : "") + Bracket(from->columns[static_cast<size_t>(sources[i])].name);
    target_list += (i ? "," : "") + Bracket(to->columns[static_cast<size_t>(targets[i])].name);
    kinds.push_back(from->columns[static_cast<size_t>(sources[i])].kind);
  }
  const std::string tail = " FROM " + Bracket(from->name) + WhereSql(where, *from);
  std::vector<Row> expected;
  for (const Row& r : Matching(*from, where)) expected.push_back(Project(r, sources));
  // The engine's order decides which copied row gets which autonumber.
  std::vector<Row> copied = Probe("SELECT " + select_list + tail, kinds, expected);

  Model after = model_;
  Table* t = after.Find(target);
  Expect expect = Expect::kSuccess;
  bool null_key = false;
  for (const Row& source_row : copied) {
    Row row(t->columns.size());
    for (size_t i = 0; i < sources.size(); ++i) {
      const Column& c = t->columns[static_cast<size_t>(targets[i])];
      std::optional<Cell> stored = Convert(source_row[i], kinds[i], c);
      if (!stored) expect = Expect::kRefusal;
      row[static_cast<size_t>(targets[i])] = stored.value_or(Cell{});
    }
    int counter = t->CounterColumn();
    if (counter >= 0) row[static_cast<size_t>(counter)] = Cell{false, t->next_counter++, {}};
    null_key |= NullKey(row, t->KeyColumn());
    t->rows.push_back(std::move(row));
  }
  if (DuplicateKey(t->rows, t->KeyColumn())) expect = Expect::kRefusal;
  if (expect == Expect::kSuccess && null_key) expect = Expect::kEither;
  Run("INSERT INTO " + Bracket(t->name) + " (" + target_list + ") SELECT " + select_list + tail,
      expect, std::move(after), copied.size());
}

void Runner::SelectInto(const std::string& table, const std::string& source,
                        const std::vector<int>& sources, const Condition* where) {
  const Table* from = model_.Find(source);
  if (!from) {
    Run("SELECT * INTO " + Bracket(table) + " FROM " + Bracket(source), Expect::kRefusal, model_,
        0);
    return;
  }
  std::vector<int> columns = sources;
  if (columns.empty()) {
    for (size_t i = 0; i < from->columns.size(); ++i) columns.push_back(static_cast<int>(i));
  }
  std::string select_list;
  std::vector<Kind> kinds;
  Table created{table, {}, {}, 1};
  for (size_t i = 0; i < columns.size(); ++i) {
    Column c = from->columns[static_cast<size_t>(columns[i])];
    select_list += (i ? "," : "") + Bracket(c.name);
    kinds.push_back(c.kind);
    c.counter = c.key = false;  // the new table takes types and sizes only
    created.columns.push_back(c);
  }
  const std::string tail = " FROM " + Bracket(from->name) + WhereSql(where, *from);
  std::vector<Row> expected;
  for (const Row& r : Matching(*from, where)) expected.push_back(Project(r, columns));
  created.rows = Probe("SELECT " + select_list + tail, kinds, expected);
  size_t copied = created.rows.size();
  Expect expect = model_.Find(table) ? Expect::kRefusal : Expect::kSuccess;
  Model after = model_;
  after.tables.push_back(std::move(created));
  Run("SELECT " + (sources.empty() ? std::string("*") : select_list) + " INTO " + Bracket(table) +
          tail,
      expect, std::move(after), copied);
}

void Runner::Begin() {
  log_.push_back("-- BeginTrans");
  session_->BeginTransaction();
  snapshots_.push_back(model_);
}

void Runner::Commit() {
  log_.push_back("-- CommitTrans");
  if (snapshots_.empty()) {
    try {
      session_->CommitTransaction();
    } catch (const jet::JetError&) {
      return;
    }
    Fault("committed without a transaction");
  }
  session_->CommitTransaction();
  snapshots_.pop_back();
}

void Runner::Rollback() {
  log_.push_back("-- RollbackTrans");
  if (snapshots_.empty()) {
    try {
      session_->RollbackTransaction();
    } catch (const jet::JetError&) {
      return;
    }
    Fault("rolled back without a transaction");
  }
  session_->RollbackTransaction();
  model_ = std::move(snapshots_.back());
  snapshots_.pop_back();
}

}  // namespace fuzz::writer
