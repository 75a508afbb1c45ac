#include "jet/sql/statement_executor.h"

#include <algorithm>
#include <optional>

#include "base/unicode.h"
#include "base/utf8_path.h"
#include "jet/sql/conversion.h"
#include "jet/sql/evaluator.h"
#include "jet/sql/source.h"
#include "jet/table/schema_change.h"
#include "jet/table/table_writer.h"

namespace jet::sql {
namespace {

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

JetError ValueCountMismatch() {
  return JetError(Problem::kValueCountMismatch);
}

// VALUES may hold only constants.
void BindNothing(Expression& e) {
  if (e.kind == Expression::Kind::kColumn)
    throw JetError(Problem::kFieldNotFound, {.column = e.text});
  for (auto& o : e.operands) BindNothing(*o);
}

// The catalog (MSysObjects and the other MSys tables) is the engine's alone: a statement
// may read it, never change it, as in Jet. A row deleted from it would lose a table.
void RefuseSystemTable(const std::string& name) {
  if (name.size() >= 4 && base::EqualsIgnoreCase(name.substr(0, 4), "MSys")) {
    throw JetError(Problem::kSystemTableReadOnly, {.table = name});
  }
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

std::vector<Value> ProjectRow(const Projection& p, const std::vector<Value>& row) {
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
std::optional<std::vector<int>> StoredCopyPlan(const Select& select, const Projection& p,
                                               const Source& src, const TableDefinition& target,
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

// Moves every row of `src` into `writer` as stored bytes, by `plan`; returns how many.
size_t CopyStored(TableWriter& writer, const Source& src, const std::vector<int>& plan,
                  const ErrorFacts& target) {
  writer.ReserveRows(src.table->definition().row_count);
  WithFacts(target, [&] { writer.PrepareStoredCopy(src.table->definition(), plan); });
  size_t count = 0;
  src.table->ScanStored([&](RowPointer, ByteView row) {
    WithFacts(target, [&] { writer.InsertStored(row); });
    ++count;
    return true;
  });
  return count;
}

// Adds one row: `values` converted for the columns `targets` names, the others NULL.
void InsertValues(TableWriter& writer, const std::vector<size_t>& targets,
                  const std::vector<Value>& values, bool truncate_text, const ErrorFacts& target) {
  const TableDefinition& def = writer.definition();
  std::vector<Value> row(def.columns.size());
  for (size_t i = 0; i < targets.size(); ++i) {
    row[targets[i]] = ConvertForColumn(def.columns[targets[i]], values[i], truncate_text);
  }
  WithFacts(target, [&] { writer.Insert(std::move(row)); });
}

}  // namespace

StatementExecutor::StatementExecutor(Database& db, const std::filesystem::path& path)
    : db_(db), path_(path), file_(base::PathToUtf8(path)) {}

ErrorFacts StatementExecutor::Changing(const std::string& table) const {
  return {.file = file_, .table = table};
}

ResultSet StatementExecutor::RunSelect(Select& select, size_t max_rows) {
  Source src = OpenSource(db_, path_, select.from);
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

size_t StatementExecutor::RunChange(Statement& s) {
  switch (s.kind) {
    case Statement::Kind::kCreateTable:
      return RunCreate(s.create);
    case Statement::Kind::kAlterTableAdd:
      return RunAlter(s.alter);
    case Statement::Kind::kInsert:
      return RunInsert(s.insert);
    case Statement::Kind::kSelect:
      return RunSelectInto(s.select);
    case Statement::Kind::kDelete:
      return RunDelete(s.del);
  }
  return 0;
}

size_t StatementExecutor::RunCreate(const CreateTable& c) {
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
  WithFacts(Changing(c.table), [&] { jet::CreateTable(db_, c.table, columns, indexes); });
  return 0;
}

size_t StatementExecutor::RunAlter(const AlterTableAdd& a) {
  const CatalogEntry* entry = LocalTable(a.table);
  const TableDefinition& def = db_.Definition(entry->DefinitionPage());
  if (def.FindColumn(a.column.name)) {
    throw JetError(Problem::kFieldExists, {.table = entry->name, .column = a.column.name});
  }
  WithFacts(Changing(entry->name),
            [&] { jet::AddColumn(db_, entry->name, ToNewColumn(a.column)); });
  return 0;
}

size_t StatementExecutor::RunInsert(Insert& ins) {
  const CatalogEntry* entry = LocalTarget(ins.table);
  const ErrorFacts target = Changing(entry->name);
  TableWriter writer(db_, entry->DefinitionPage(), entry->name);
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
    InsertValues(writer, targets, values, false, target);
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
    Source src = OpenSource(db_, path_, ins.select->from);
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
      count = CopyStored(writer, src, *plan, target);
    } else {
      Filter(src, ins.select->where.get(), [&](RowPointer, const std::vector<Value>& row) {
        insert(ProjectRow(p, row));
        return true;
      });
    }
  }
  WithFacts(target, [&] { writer.Finish(); });
  return count;
}

size_t StatementExecutor::RunSelectInto(Select& select) {
  const TableRef& into = *select.into;
  if (into.external) throw JetError(Problem::kExternalSelectInto);
  RefuseSystemTable(into.name);
  RequireNewTable(into.name);
  Source src = OpenSource(db_, path_, select.from);
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
  const ErrorFacts target = Changing(into.name);
  const uint32_t page =
      WithFacts(target, [&] { return jet::CreateTable(db_, into.name, columns, {}); });
  TableWriter writer(db_, page, into.name);
  const TableDefinition& def = writer.definition();
  std::vector<size_t> all(def.columns.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  size_t count = 0;
  if (auto plan = StoredCopyPlan(select, p, src, def, all)) {
    count = CopyStored(writer, src, *plan, target);
  } else {
    Filter(src, select.where.get(), [&](RowPointer, const std::vector<Value>& row) {
      InsertValues(writer, all, ProjectRow(p, row), true, target);
      ++count;
      return true;
    });
  }
  WithFacts(target, [&] { writer.Finish(); });
  return count;
}

size_t StatementExecutor::RunDelete(Delete& d) {
  const CatalogEntry* entry = LocalTarget(d.table);
  Source src = OpenSource(db_, path_, d.table);
  std::vector<RowPointer> doomed;
  Filter(src, d.where.get(), [&](RowPointer p, const std::vector<Value>&) {
    doomed.push_back(p);
    return true;
  });
  TableWriter writer(db_, entry->DefinitionPage(), entry->name);
  WithFacts(Changing(entry->name), [&] {
    for (RowPointer p : doomed) writer.Delete(p);
    writer.Finish();
  });
  return doomed.size();
}

void StatementExecutor::AddRow(const std::string& table,
                               const std::vector<std::pair<std::string, std::string>>& values) {
  const CatalogEntry* entry = LocalTable(table);
  TableWriter writer(db_, entry->DefinitionPage(), entry->name);
  const TableDefinition& def = writer.definition();
  std::vector<Value> row(def.columns.size());
  for (const auto& [name, text] : values) {
    size_t i = FindColumnOrThrow(def, name);
    if (def.columns[i].IsAutoNumber()) {
      throw JetError(Problem::kAutonumberAssigned, {.column = def.columns[i].name});
    }
    row[i] = ConvertTextForColumn(def.columns[i], text);
  }
  WithFacts(Changing(entry->name), [&] {
    writer.Insert(std::move(row));
    writer.Finish();
  });
}

const CatalogEntry* StatementExecutor::LocalTable(const std::string& name) {
  RefuseSystemTable(name);
  const CatalogEntry* entry = db_.catalog().FindTable(name);
  if (!entry || entry->kind == ObjectKind::kView)
    throw JetError(Problem::kTableNotFound, {.table = name});
  return entry;
}

const CatalogEntry* StatementExecutor::LocalTarget(const TableRef& ref) {
  if (ref.external) throw JetError(Problem::kExternalWrite);
  return LocalTable(ref.name);
}

void StatementExecutor::RequireNewTable(const std::string& name) {
  for (const auto& e : db_.catalog().entries()) {
    if (e.kind != ObjectKind::kOther && base::EqualsIgnoreCase(e.name, name))
      throw JetError(Problem::kTableExists, {.table = e.name});
  }
}

}  // namespace jet::sql
