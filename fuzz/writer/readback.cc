#include "fuzz/writer/readback.h"

#include <algorithm>

#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/table.h"
#include "upgrade/product_database.h"

namespace fuzz::writer {
namespace {

bool SameType(const jet::ColumnDefinition& d, const Column& c) {
  switch (c.kind) {
    case Kind::kLong:
      return d.type == jet::ColumnType::kLong && d.IsAutoNumber() == c.counter;
    case Kind::kCurrency:
      return d.type == jet::ColumnType::kCurrency;
    case Kind::kText:
      return d.type == jet::ColumnType::kText && d.length == 2 * c.length;
    case Kind::kMemo:
      return d.type == jet::ColumnType::kMemo;
  }
  return false;
}

Cell ToCell(const jet::Value& v, Kind kind) {
  Cell c;
  c.null = v.IsNull();
  if (c.null) return c;
  if (kind == Kind::kText || kind == Kind::kMemo) {
    c.text = v.text;
  } else {
    c.number = v.integer;
  }
  return c;
}

}  // namespace

void CheckFileMatches(const std::filesystem::path& path, const Model& model,
                      const std::vector<std::string>& log) {
  auto fault = [&](const std::string& what) { ReportFault(what, log); };
  auto db = jet::Database::Open(path, upgrade::kDatabasePassword);
  jet::CheckReport report = jet::CheckDatabase(*db);
  // The engine keeps every count and leaks no page: even a note is a fault here.
  if (!report.findings.empty()) fault("the checker reports: " + report.findings.front().Text());

  std::vector<const jet::CatalogEntry*> tables = db->catalog().OfKind(jet::ObjectKind::kUserTable);
  if (tables.size() != model.tables.size()) {
    fault("the file has " + std::to_string(tables.size()) + " tables, not " +
          std::to_string(model.tables.size()));
  }
  for (const Table& expected : model.tables) {
    const jet::CatalogEntry* entry = db->catalog().FindTable(expected.name);
    if (!entry || entry->name != expected.name) fault("table " + expected.name + " is missing");
    jet::Table table = db->OpenTable(*entry);
    const jet::TableDefinition& def = table.definition();
    if (def.columns.size() != expected.columns.size())
      fault("table " + expected.name + " has the wrong number of columns");
    // The file may store columns in another order than they were defined; match by name.
    std::vector<size_t> where;
    for (const Column& c : expected.columns) {
      const jet::ColumnDefinition* d = def.FindColumn(c.name);
      if (!d || d->name != c.name || !SameType(*d, c))
        fault("column " + expected.name + "." + c.name + " is missing or of another type");
      where.push_back(static_cast<size_t>(d - def.columns.data()));
    }
    std::vector<Row> rows;
    table.Scan([&](jet::RowPointer, const std::vector<jet::Value>& values) {
      Row row;
      for (size_t i = 0; i < expected.columns.size(); ++i)
        row.push_back(ToCell(values[where[i]], expected.columns[i].kind));
      rows.push_back(std::move(row));
      return true;
    });
    std::vector<Row> want = expected.rows;
    std::sort(rows.begin(), rows.end());
    std::sort(want.begin(), want.end());
    if (rows != want) {
      fault("table " + expected.name + " holds " + std::to_string(rows.size()) +
            " rows, expected " + std::to_string(want.size()) + " (or their values differ)");
    }
  }
}

}  // namespace fuzz::writer
