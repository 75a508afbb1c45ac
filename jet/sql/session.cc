#include "jet/sql/session.h"

#include <algorithm>
#include <optional>

#include "base/unicode.h"
#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/sql/conversion.h"
#include "jet/sql/evaluator.h"
#include "jet/sql/parser.h"
#include "jet/table/schema_change.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"

namespace jet::sql {
namespace {

std::unique_ptr<Database> OpenDatabase(const std::filesystem::path& path,
                                       const std::string& password, Pager::Mode mode) {
  try {
    return Database::Open(path, password, mode);
  } catch (JetError& e) {
    e.AddFacts({.file = base::PathToUtf8(path)});
    throw;
  }
}

// Columns in the order Access shows them (by ordinal; system tables number none and keep
// their stored order).
std::vector<size_t> DisplayOrder(const TableDefinition& def) {
  std::vector<size_t> order(def.columns.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return def.columns[a].ordinal < def.columns[b].ordinal;
  });
  return order;
}

size_t FindColumnOrThrow(const TableDefinition& def, const std::string& name) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (base::EqualsIgnoreCase(def.columns[i].name, name)) return i;
  }
  throw JetError(Problem::kFieldNotFound, {.column = name});
}

NewColumn ToNewColumn(const ColumnSpec& c) {
  NewColumn n;
  n.name = c.name;
  n.type = c.type;
  n.length = c.length;
  n.fixed_length = c.fixed_length;
  n.autonumber = c.autonumber;
  n.precision = c.precision;
  n.scale = c.scale;
  return n;
}

// A table a statement reads: in this database or in another file.
struct Source {
  Database* db = nullptr;
  std::unique_ptr<Database> owned;
  std::optional<Table> table;
  TableRef ref;
};

}  // namespace

class Session::Executor {
 public:
  explicit Executor(Session& session) : s_(session) {}

  Source OpenSource(const TableRef& ref) {
    Source src;
    src.ref = ref;
    src.db = s_.db_.get();
    std::string where = base::PathToUtf8(s_.path_);
    if (ref.external) {
      std::error_code ec;
      std::filesystem::path path = base::PathFromUtf8(ref.path);
      bool same = std::filesystem::equivalent(path, s_.path_, ec);
      if (!same) {
        src.owned = OpenDatabase(path, ref.password, Pager::Mode::kReadOnly);
        src.db = src.owned.get();
        where = base::PathToUtf8(path);
      }
    }
    const CatalogEntry* entry = src.db->catalog().FindTable(ref.name);
    if (!entry) throw JetError(Problem::kTableNotFound, {.table = ref.name});
    if (entry->kind == ObjectKind::kView) {
      throw JetError(Problem::kSavedQuerySource, {.name = entry->name});
    }
    try {
      src.table.emplace(src.db->OpenTable(*entry));
    } catch (JetError& e) {
      e.AddFacts({.file = where, .table = entry->name});
      throw;
    }
    return src;
  }

  // Visits the source rows that pass `where`.
  template <typename Visit>
  void Filter(Source& src, Expression* where, Visit visit) {
    if (where) Bind(*where, src.table->definition(), src.ref);
    src.table->Scan([&](RowPointer p, const std::vector<Value>& row) {
      if (where) {
        std::optional<bool> pass = Test(*where, row);
        if (!pass || !*pass) return true;
      }
      return visit(p, row);
    });
  }

  struct Projection {
    std::vector<std::string> names;
    std::vector<const ColumnDefinition*> definitions;  // null for computed items
    std::vector<Expression*> expressions;              // null for plain columns of "*"
    std::vector<size_t> columns;                       // for "*": source positions
  };

  Projection Project(Select& select, Source& src) {
    Projection p;
    const TableDefinition& def = src.table->definition();
    if (select.items.empty()) {
      for (size_t i : DisplayOrder(def)) {
        p.names.push_back(def.columns[i].name);
        p.definitions.push_back(&def.columns[i]);
        p.expressions.push_back(nullptr);
        p.columns.push_back(i);
      }
      return p;
    }
    int unnamed = 1000;
    for (auto& item : select.items) {
      Bind(*item.expression, def, src.ref);
      bool plain = item.expression->kind == Expression::Kind::kColumn;
      p.names.push_back(!item.alias.empty() ? item.alias
                        : plain ? def.columns[static_cast<size_t>(item.expression->column)].name
                                : "Expr" + std::to_string(unnamed++));
      p.definitions.push_back(plain ? &def.columns[static_cast<size_t>(item.expression->column)]
                                    : nullptr);
      p.expressions.push_back(item.expression.get());
      p.columns.push_back(plain ? static_cast<size_t>(item.expression->column) : 0);
    }
    return p;
  }

  static std::vector<Value> ProjectRow(const Projection& p, const std::vector<Value>& row) {
    std::vector<Value> out;
    out.reserve(p.names.size());
    for (size_t i = 0; i < p.names.size(); ++i) {
      out.push_back(p.expressions[i] ? Evaluate(*p.expressions[i], row) : row[p.columns[i]]);
    }
    return out;
  }

  // A copy whose every item is a plain column of the source, unfiltered, into columns that
  // take the stored values as they are, can move rows as stored bytes (TableWriter::
  // InsertStored): the same rows, without decoding every value and encoding it back. The
  // plan gives each target column its source column; nullopt when the copy must go value
  // by value.
  static std::optional<std::vector<int>> StoredCopyPlan(const Select& select, const Projection& p,
                                                        const Source& src,
                                                        const TableDefinition& target,
                                                        const std::vector<size_t>& targets) {
    if (select.where || p.definitions.size() != targets.size()) return std::nullopt;
    const TableDefinition& source = src.table->definition();
    std::vector<int> plan(target.columns.size(), TableWriter::kNoSource);
    for (size_t i = 0; i < targets.size(); ++i) {
      if (!p.definitions[i]) return std::nullopt;  // a computed item
      const ColumnDefinition& from = source.columns[p.columns[i]];
      if (!CanCopyStored(from, target.columns[targets[i]])) return std::nullopt;
      plan[targets[i]] = static_cast<int>(p.columns[i]);
    }
    return plan;
  }

  ResultSet RunSelect(Select& select, size_t max_rows = Session::kAllRows) {
    Source src = OpenSource(select.from);
    Projection p = Project(select, src);
    ResultSet result;
    result.columns = p.names;
    for (const ColumnDefinition* d : p.definitions) {
      result.definitions.push_back(d ? *d : ColumnDefinition{});
    }
    if (!src.owned) result.table = src.table->name();
    if (max_rows == 0) {
      // The shape alone: still check the condition's names, as the full query would.
      if (select.where) Bind(*select.where, src.table->definition(), src.ref);
      return result;
    }
    Filter(src, select.where.get(), [&](RowPointer, const std::vector<Value>& row) {
      result.rows.push_back(ProjectRow(p, row));
      return result.rows.size() < max_rows;
    });
    return result;
  }

  size_t RunCreate(const CreateTable& c) {
    RefuseSystemTable(c.table);
    RequireNewTable(c.table);
    std::vector<NewColumn> columns;
    NewIndex key{"PrimaryKey", {}, true, false, false};
    for (size_t i = 0; i < c.columns.size(); ++i) {
      for (size_t k = 0; k < i; ++k) {
        if (base::EqualsIgnoreCase(c.columns[i].name, c.columns[k].name)) {
          throw JetError(Problem::kFieldDefinedTwice, {.column = c.columns[i].name});
        }
      }
      columns.push_back(ToNewColumn(c.columns[i]));
      if (c.columns[i].primary_key) key.columns.push_back({c.columns[i].name, true});
    }
    std::vector<NewIndex> indexes;
    if (!key.columns.empty()) indexes.push_back(key);
    Guard(c.table, [&] { jet::CreateTable(*s_.db_, c.table, columns, indexes); });
    return 0;
  }

  size_t RunAlter(const AlterTableAdd& a) {
    RefuseSystemTable(a.table);
    const CatalogEntry* entry = s_.db_->catalog().FindTable(a.table);
    if (!entry || entry->kind == ObjectKind::kView)
      throw JetError(Problem::kTableNotFound, {.table = a.table});
    const TableDefinition& def = s_.db_->Definition(entry->DefinitionPage());
    if (def.FindColumn(a.column.name)) {
      throw JetError(Problem::kFieldExists, {.table = entry->name, .column = a.column.name});
    }
    Guard(entry->name, [&] { jet::AddColumn(*s_.db_, entry->name, ToNewColumn(a.column)); });
    return 0;
  }

  size_t RunInsert(Insert& ins) {
    const CatalogEntry* entry = LocalTarget(ins.table);
    TableWriter writer(*s_.db_, entry->DefinitionPage(), entry->name);
    const TableDefinition& def = writer.definition();
    std::vector<size_t> targets;
    if (ins.columns.empty()) {
      targets = DisplayOrder(def);
    } else {
      for (const auto& name : ins.columns) {
        size_t t = FindColumnOrThrow(def, name);
        if (std::find(targets.begin(), targets.end(), t) != targets.end())
          throw JetError(Problem::kFieldDefinedTwice, {.column = name});
        targets.push_back(t);
      }
    }
    size_t count = 0;
    auto insert = [&](const std::vector<Value>& values) {
      std::vector<Value> row(def.columns.size());
      for (size_t i = 0; i < targets.size(); ++i) {
        row[targets[i]] = ConvertForColumn(def.columns[targets[i]], values[i], false);
      }
      Guard(entry->name, [&] { writer.Insert(std::move(row)); });
      ++count;
    };
    if (!ins.select) {
      if (ins.values.size() != targets.size()) throw ValueCountMismatch();
      std::vector<Value> values;
      for (auto& e : ins.values) {
        BindNothing(*e);
        values.push_back(Evaluate(*e, {}));
      }
      insert(values);
    } else {
      Source src = OpenSource(ins.select->from);
      Projection p = Project(*ins.select, src);
      if (p.names.size() != targets.size()) throw ValueCountMismatch();
      bool same_table = !src.owned && src.table->definition_page() == entry->DefinitionPage();
      if (same_table) {
        // Reading and appending the same table: read it all first, or the scan would meet
        // the rows it adds.
        std::vector<std::vector<Value>> rows;
        Filter(src, ins.select->where.get(), [&](RowPointer, const std::vector<Value>& row) {
          rows.push_back(ProjectRow(p, row));
          return true;
        });
        for (const auto& r : rows) insert(r);
      } else if (auto plan = StoredCopyPlan(*ins.select, p, src, def, targets)) {
        writer.ReserveRows(src.table->definition().row_count);
        Guard(entry->name, [&] { writer.PrepareStoredCopy(src.table->definition(), *plan); });
        src.table->ScanStored([&](RowPointer, ByteView row) {
          Guard(entry->name, [&] { writer.InsertStored(row); });
          ++count;
          return true;
        });
      } else {
        Filter(src, ins.select->where.get(), [&](RowPointer, const std::vector<Value>& row) {
          insert(ProjectRow(p, row));
          return true;
        });
      }
    }
    Guard(entry->name, [&] { writer.Finish(); });
    return count;
  }

  size_t RunSelectInto(Select& select) {
    const TableRef& into = *select.into;
    if (into.external) throw JetError(Problem::kExternalSelectInto);
    RefuseSystemTable(into.name);
    RequireNewTable(into.name);
    Source src = OpenSource(select.from);
    Projection p = Project(select, src);
    std::vector<NewColumn> columns;
    for (size_t i = 0; i < p.names.size(); ++i) {
      NewColumn c;
      c.name = p.names[i];
      if (const ColumnDefinition* d = p.definitions[i]) {
        // The new table takes each field's type and size, nothing else: no autonumber,
        // no keys or indexes.
        c.type = d->type;
        c.length = d->type == ColumnType::kText ? d->length / 2 : d->length;
        c.fixed_length =
            d->IsFixed() && (d->type == ColumnType::kText || d->type == ColumnType::kBinary);
        c.precision = d->precision;
        c.scale = d->scale;
      } else {
        c.type = ColumnType::kText;
        c.length = 255;
      }
      columns.push_back(std::move(c));
    }
    uint32_t page = 0;
    Guard(into.name, [&] { page = jet::CreateTable(*s_.db_, into.name, columns, {}); });
    TableWriter writer(*s_.db_, page, into.name);
    const TableDefinition& def = writer.definition();
    size_t count = 0;
    std::vector<size_t> all(def.columns.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    if (auto plan = StoredCopyPlan(select, p, src, def, all)) {
      writer.ReserveRows(src.table->definition().row_count);
      Guard(into.name, [&] { writer.PrepareStoredCopy(src.table->definition(), *plan); });
      src.table->ScanStored([&](RowPointer, ByteView row) {
        Guard(into.name, [&] { writer.InsertStored(row); });
        ++count;
        return true;
      });
      Guard(into.name, [&] { writer.Finish(); });
      return count;
    }
    Filter(src, select.where.get(), [&](RowPointer, const std::vector<Value>& row) {
      std::vector<Value> values = ProjectRow(p, row);
      std::vector<Value> out(def.columns.size());
      for (size_t i = 0; i < values.size(); ++i) {
        out[i] = ConvertForColumn(def.columns[i], values[i], true);
      }
      Guard(into.name, [&] { writer.Insert(std::move(out)); });
      ++count;
      return true;
    });
    Guard(into.name, [&] { writer.Finish(); });
    return count;
  }

  size_t RunDelete(Delete& d) {
    const CatalogEntry* entry = LocalTarget(d.table);
    Source src = OpenSource(d.table);
    std::vector<RowPointer> doomed;
    Filter(src, d.where.get(), [&](RowPointer p, const std::vector<Value>&) {
      doomed.push_back(p);
      return true;
    });
    TableWriter writer(*s_.db_, entry->DefinitionPage(), entry->name);
    Guard(entry->name, [&] {
      for (RowPointer p : doomed) writer.Delete(p);
      writer.Finish();
    });
    return doomed.size();
  }

  void AddRow(const std::string& table,
              const std::vector<std::pair<std::string, std::string>>& values) {
    RefuseSystemTable(table);
    const CatalogEntry* entry = s_.db_->catalog().FindTable(table);
    if (!entry || entry->kind == ObjectKind::kView)
      throw JetError(Problem::kTableNotFound, {.table = table});
    TableWriter writer(*s_.db_, entry->DefinitionPage(), entry->name);
    const TableDefinition& def = writer.definition();
    std::vector<Value> row(def.columns.size());
    for (const auto& [name, text] : values) {
      size_t i = FindColumnOrThrow(def, name);
      if (def.columns[i].IsAutoNumber()) {
        throw JetError(Problem::kAutonumberAssigned, {.column = def.columns[i].name});
      }
      row[i] = ConvertTextForColumn(def.columns[i], text);
    }
    Guard(entry->name, [&] {
      writer.Insert(std::move(row));
      writer.Finish();
    });
  }

 private:
  static JetError ValueCountMismatch() { return JetError(Problem::kValueCountMismatch); }

  // VALUES may hold only constants.
  static void BindNothing(Expression& e) {
    if (e.kind == Expression::Kind::kColumn)
      throw JetError(Problem::kFieldNotFound, {.column = e.text});
    for (auto& o : e.operands) BindNothing(*o);
  }

  void RequireNewTable(const std::string& name) {
    for (const auto& e : s_.db_->catalog().entries()) {
      if (e.kind != ObjectKind::kOther && base::EqualsIgnoreCase(e.name, name))
        throw JetError(Problem::kTableExists, {.table = e.name});
    }
  }

  // The catalog (MSysObjects and the other MSys tables) is the engine's alone: a statement
  // may read it, never change it, as in Jet. A row deleted from it would lose a table.
  static void RefuseSystemTable(const std::string& name) {
    if (name.size() >= 4 && base::EqualsIgnoreCase(name.substr(0, 4), "MSys")) {
      throw JetError(Problem::kSystemTableReadOnly, {.table = name});
    }
  }

  const CatalogEntry* LocalTarget(const TableRef& ref) {
    if (ref.external) throw JetError(Problem::kExternalWrite);
    RefuseSystemTable(ref.name);
    const CatalogEntry* entry = s_.db_->catalog().FindTable(ref.name);
    if (!entry || entry->kind == ObjectKind::kView)
      throw JetError(Problem::kTableNotFound, {.table = ref.name});
    return entry;
  }

  // Errors raised while a statement changes `table` name it, and this file, unless they
  // already name others (a source table in another file, say).
  template <typename F>
  void Guard(const std::string& table, F f) {
    try {
      f();
    } catch (JetError& e) {
      e.AddFacts({.file = base::PathToUtf8(s_.path_), .table = table});
      throw;
    }
  }

  Session& s_;
};

Session::Session(const std::filesystem::path& path, std::string password)
    : path_(path), password_(std::move(password)) {
  db_ = OpenDatabase(path_, password_, Pager::Mode::kReadOnly);
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
    db_ = OpenDatabase(path_, password_, Pager::Mode::kReadWrite);
  } catch (...) {
    // Stay usable for reading; the write is refused with the open's message.
    try {
      db_ = OpenDatabase(path_, password_, Pager::Mode::kReadOnly);
    } catch (...) {
    }
    throw;
  }
}

size_t Session::Execute(std::string_view text) {
  if (!db_) throw JetError(Problem::kFileNotFound, {.file = base::PathToUtf8(path_)});
  Statement s = Parse(text);
  if (s.kind == Statement::Kind::kSelect && !s.select.into) {
    return Executor(*this).RunSelect(s.select).rows.size();
  }
  return RunChange([&] {
    Executor run(*this);
    switch (s.kind) {
      case Statement::Kind::kCreateTable:
        return run.RunCreate(s.create);
      case Statement::Kind::kAlterTableAdd:
        return run.RunAlter(s.alter);
      case Statement::Kind::kInsert:
        return run.RunInsert(s.insert);
      case Statement::Kind::kSelect:
        return run.RunSelectInto(s.select);
      case Statement::Kind::kDelete:
        return run.RunDelete(s.del);
    }
    return size_t{0};
  });
}

ResultSet Session::Query(std::string_view text, size_t max_rows) {
  if (!db_) throw JetError(Problem::kFileNotFound, {.file = base::PathToUtf8(path_)});
  Statement s = Parse(text);
  if (s.kind != Statement::Kind::kSelect || s.select.into) {
    throw JetError(Problem::kSelectOnly);
  }
  return Executor(*this).RunSelect(s.select, max_rows);
}

void Session::AddRow(const std::string& table,
                     const std::vector<std::pair<std::string, std::string>>& values) {
  if (!db_) throw JetError(Problem::kFileNotFound, {.file = base::PathToUtf8(path_)});
  RunChange([&] {
    Executor(*this).AddRow(table, values);
    return size_t{1};
  });
}

size_t Session::RunChange(const std::function<size_t()>& change) {
  if (transaction_level_ == 0 && !group_) {
    EnsureWritable();
    Transaction t(*db_);
    size_t affected = change();
    try {
      t.Commit();
    } catch (JetError& e) {
      e.AddFacts({.file = base::PathToUtf8(path_)});
      throw;
    }
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

void Session::EnsureGroupTransaction() {
  if (group_pending_) return;
  EnsureWritable();
  db_->Begin();
  group_pending_ = true;
}

int Session::BeginTransaction() {
  if (!db_) throw JetError(Problem::kFileNotFound, {.file = base::PathToUtf8(path_)});
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
  try {
    db_->Commit();
  } catch (JetError& e) {
    e.AddFacts({.file = base::PathToUtf8(path_)});
    throw;
  }
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
  if (!db_) throw JetError(Problem::kFileNotFound, {.file = base::PathToUtf8(path_)});
  EnsureWritable();
  try {
    db_->pager().PrepareJournal();
  } catch (JetError& e) {
    e.AddFacts({.file = base::PathToUtf8(path_)});
    throw;
  }
}

void Session::BeginGroup() {
  group_ = true;
}

void Session::CommitGroup() {
  if (!group_pending_ || transaction_level_ > 0) return;
  group_pending_ = false;
  try {
    db_->Commit();
  } catch (JetError& e) {
    e.AddFacts({.file = base::PathToUtf8(path_)});
    throw;
  }
}

void Session::EndGroup() {
  CommitGroup();
  group_ = false;
}

std::vector<std::string> Session::ListTablesAndViews() {
  if (!db_) throw JetError(Problem::kFileNotFound, {.file = base::PathToUtf8(path_)});
  std::vector<std::string> names;
  for (const auto& e : db_->catalog().entries()) {
    if (e.kind == ObjectKind::kUserTable || e.kind == ObjectKind::kView) names.push_back(e.name);
  }
  return names;
}

}  // namespace jet::sql
