#include "jet/compact/compact.h"

#include <algorithm>
#include <map>
#include <memory>

#include "jet/compact/carried_keys.h"
#include "jet/compact/copy_steps.h"
#include "jet/error.h"
#include "jet/table/database.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"

namespace jet::compact {
namespace {

// How many changed pages a copy holds in memory before committing them: a large table goes
// to the file in steps of about 8 MiB, so memory does not grow with the table's rows (its
// index entries still do, until each index is written).
constexpr size_t kPagesPerCommit = 2048;
constexpr size_t kRowsReserved = 32768;

CopiedTable CopyRows(Database& source, Database& target, const SourceTable& t,
                     const std::map<uint32_t, uint32_t>& pages) {
  CopiedTable copied{t.entry->name, t.entry->kind == ObjectKind::kSystemTable, 0, 0};
  const TableDefinition& def = source.Definition(t.page);
  Table from(source, t.page, t.entry->name);
  CarriedKeys keys(source.pager(), def, t.page);
  RowPointer current;
  const std::vector<size_t> id_columns = TableIdColumns(t.entry->name, def);
  std::vector<int> same(def.columns.size());
  for (size_t i = 0; i < same.size(); ++i) same[i] = static_cast<int>(i);
  LongValuePages long_pages(source.pager(), def);

  std::unique_ptr<Transaction> transaction;
  std::unique_ptr<TableWriter> writer;
  auto begin = [&] {
    transaction = std::make_unique<Transaction>(target);
    writer = std::make_unique<TableWriter>(target, t.new_page, t.entry->name);
    writer->CarryKeysFrom(
        [&](size_t index, std::vector<uint8_t>& key) { return keys.Find(index, current, key); });
    // Room for the entries of the rows to come, at most about a commit's worth: entries are
    // held only until the commit writes them.
    writer->ReserveRows(std::min<size_t>(
        def.row_count > copied.rows ? def.row_count - copied.rows : 0, kRowsReserved));
    if (!id_columns.empty()) return;
    writer->PrepareStoredCopy(def, same, [&](size_t column, ByteView stored) {
      return ReadLongValue(source.pager(), stored, long_pages, def.columns[column].id);
    });
  };
  auto commit = [&] {
    writer->Finish();
    writer.reset();
    transaction->Commit();
    transaction.reset();
  };
  begin();
  if (!id_columns.empty()) {
    // A catalog table: its ids change, so its rows go value by value.
    std::vector<Value> row;
    from.Scan([&](RowPointer where, const std::vector<Value>& values) {
      current = where;
      row = values;
      for (size_t c : id_columns) {
        if (!row[c].IsNull()) row[c].integer = MapId(static_cast<int32_t>(row[c].integer), pages);
      }
      writer->Insert(row);
      ++copied.rows;
      return true;
    });
  } else {
    from.ScanStored([&](RowPointer where, ByteView row) {
      current = where;
      writer->InsertStored(row);
      ++copied.rows;
      if (target.pager().dirty_pages() >= kPagesPerCommit) {
        commit();
        begin();
      }
      return true;
    });
  }
  commit();
  copied.carried_keys = keys.used();
  return copied;
}

}  // namespace

CompactReport CompactDatabase(const std::filesystem::path& source_path,
                              const std::filesystem::path& destination, std::string_view password) {
  auto source = Database::Open(source_path, password);
  RefuseExisting(destination);
  CompactReport report;
  report.source_pages = source->pager().page_count();
  std::vector<SourceTable> tables = TablesOf(*source);
  try {
    std::vector<const TableDefinition*> definitions;
    for (const SourceTable& t : tables) definitions.push_back(&source->Definition(t.page));
    std::map<uint32_t, uint32_t> pages;
    WriteDefinitions(destination, source->pager(), tables, definitions, pages);
    auto target = Database::Open(destination, password, Pager::Mode::kReadWrite);
    for (const SourceTable& t : tables) {
      report.tables.push_back(CopyRows(*source, *target, t, pages));
    }
    report.pages = target->pager().page_count();
  } catch (...) {
    RemoveCopy(destination);
    throw;
  }
  return report;
}

}  // namespace jet::compact
