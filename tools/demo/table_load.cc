#include "tools/demo/table_load.h"

#include <stdexcept>
#include <string>

#include "jet/error.h"

namespace demo {
namespace {

uint32_t DefinitionPageOf(jet::Database& db, std::string_view table) {
  const jet::CatalogEntry* entry = db.catalog().FindTable(table);
  if (!entry) throw jet::JetError(jet::Problem::kTableNotFound, {.table = std::string(table)});
  return entry->DefinitionPage();
}

// The value kind each column type stores; the demo uses no other column types.
bool Fits(jet::ColumnType type, jet::ValueKind kind) {
  switch (type) {
    case jet::ColumnType::kBoolean:
      return kind == jet::ValueKind::kBoolean;
    case jet::ColumnType::kLong:
      return kind == jet::ValueKind::kLong;
    case jet::ColumnType::kCurrency:
      return kind == jet::ValueKind::kCurrency;
    case jet::ColumnType::kDateTime:
      return kind == jet::ValueKind::kDateTime;
    case jet::ColumnType::kText:
    case jet::ColumnType::kMemo:
      return kind == jet::ValueKind::kText;
    default:
      return false;
  }
}

}  // namespace

TableLoad::TableLoad(jet::sql::Session& session, std::string_view table,
                     std::initializer_list<std::string_view> columns)
    : transaction_(session.database()),
      writer_(session.database(), DefinitionPageOf(session.database(), table), std::string(table)) {
  const auto& defined = writer_.definition().columns;
  for (std::string_view name : columns) {
    size_t at = 0;
    while (at < defined.size() && defined[at].name != name) ++at;
    if (at == defined.size()) {
      throw std::logic_error("table " + std::string(table) + " has no column " + std::string(name));
    }
    positions_.push_back(at);
  }
}

void TableLoad::CheckWidth(size_t values) const {
  if (values != positions_.size()) {
    throw std::logic_error("a row of " + std::to_string(values) + " values for " +
                           std::to_string(positions_.size()) + " columns");
  }
}

void TableLoad::Store(std::vector<jet::Value> row) {
  const auto& defined = writer_.definition().columns;
  for (size_t i = 0; i < row.size(); ++i) {
    if (!row[i].IsNull() && !Fits(defined[i].type, row[i].kind)) {
      throw std::logic_error("column " + defined[i].name + " is given a value of the wrong kind");
    }
  }
  writer_.Insert(std::move(row));
}

void TableLoad::Commit() {
  writer_.Finish();
  transaction_.Commit();
}

}  // namespace demo
