#include "jet/compact/compact.h"

#include <map>
#include <system_error>

#include "base/unicode.h"
#include "base/utf8_path.h"
#include "jet/compact/carried_keys.h"
#include "jet/compact/fresh_storage.h"
#include "jet/compact/starting_file.h"
#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/table/catalog.h"
#include "jet/table/database.h"
#include "jet/table/definition_writer.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"

namespace jet::compact {
namespace {

constexpr int16_t kLocalTableType = 1;

// Columns of system tables whose values name a table by its id, its definition page: they
// follow the table to its new page. Other objects (queries, forms, containers) keep their
// ids, which are not page numbers.
struct IdColumn {
  const char* table;
  const char* column;
};
constexpr IdColumn kTableIdColumns[] = {
    {"MSysObjects", "Id"},
    {"MSysObjects", "ParentId"},
    {"MSysACEs", "ObjectId"},
    {"MSysNavPaneObjectIDs", "Id"},
};

struct SourceTable {
  const CatalogEntry* entry;
  uint32_t page;      // definition page in the source
  uint32_t new_page;  // and in the copy
};

// The local tables of the source, MSysObjects first: its page is 2 in every file.
std::vector<SourceTable> TablesOf(const Database& db) {
  std::vector<SourceTable> tables;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (e.type != kLocalTableType || e.id <= 0) continue;
    SourceTable t{&e, e.DefinitionPage(), 0};
    if (t.page == Catalog::kObjectsDefinitionPage) {
      tables.insert(tables.begin(), t);
    } else {
      tables.push_back(t);
    }
  }
  if (tables.empty() || tables.front().page != Catalog::kObjectsDefinitionPage) {
    ThrowCorrupt(Problem::kDamagedDefinition, {.table = "MSysObjects"});
  }
  return tables;
}

// An id as stored, with its definition page replaced when it names a table.
int32_t MapId(int32_t id, const std::map<uint32_t, uint32_t>& pages) {
  if (id <= 0 || (static_cast<uint32_t>(id) & 0xFF000000u) != 0) return id;
  auto it = pages.find(static_cast<uint32_t>(id));
  return it == pages.end() ? id : static_cast<int32_t>(it->second);
}

std::vector<size_t> IdColumnsOf(const std::string& table, const TableDefinition& def) {
  std::vector<size_t> columns;
  for (const IdColumn& c : kTableIdColumns) {
    if (!base::EqualsIgnoreCase(table, c.table)) continue;
    for (size_t i = 0; i < def.columns.size(); ++i) {
      if (base::EqualsIgnoreCase(def.columns[i].name, c.column) &&
          def.columns[i].type == ColumnType::kLong) {
        columns.push_back(i);
      }
    }
  }
  return columns;
}

// Every definition, with storage of its own, on the pages the copy gives it.
void WriteDefinitions(const std::filesystem::path& path, Database& source,
                      std::vector<SourceTable>& tables, std::map<uint32_t, uint32_t>& pages) {
  Pager pager(path, Pager::Mode::kReadWrite);
  PageAllocator allocator(pager);
  pager.Begin();
  for (SourceTable& t : tables) {
    t.new_page = t.page == Catalog::kObjectsDefinitionPage ? t.page : allocator.Allocate();
    pages[t.page] = t.new_page;
  }
  uint32_t map_page = 0;  // shared: a table's maps take a few rows of a page
  for (const SourceTable& t : tables) {
    TableDefinition def =
        WithFreshStorage(pager, allocator, map_page, t.new_page, source.Definition(t.page), pages);
    WriteDefinition(pager, allocator, t.new_page, def);
  }
  pager.Commit();
}

CopiedTable CopyRows(Database& source, Database& target, const SourceTable& t,
                     const std::map<uint32_t, uint32_t>& pages) {
  CopiedTable copied{t.entry->name, t.entry->kind == ObjectKind::kSystemTable, 0, 0};
  const TableDefinition& def = source.Definition(t.page);
  Table from(source, t.page, t.entry->name);
  CarriedKeys keys(source.pager(), def, t.page);
  RowPointer current;

  Transaction transaction(target);
  TableWriter writer(target, t.new_page, t.entry->name);
  writer.CarryKeysFrom(
      [&](size_t index, std::vector<uint8_t>& key) { return keys.Find(index, current, key); });
  writer.ReserveRows(def.row_count);
  const std::vector<size_t> id_columns = IdColumnsOf(t.entry->name, def);
  if (!id_columns.empty()) {
    // A catalog table: its ids change, so its rows go value by value.
    std::vector<Value> row;
    from.Scan([&](RowPointer where, const std::vector<Value>& values) {
      current = where;
      row = values;
      for (size_t c : id_columns) {
        if (!row[c].IsNull()) row[c].integer = MapId(static_cast<int32_t>(row[c].integer), pages);
      }
      writer.Insert(row);
      ++copied.rows;
      return true;
    });
  } else {
    std::vector<int> same(def.columns.size());
    for (size_t i = 0; i < same.size(); ++i) same[i] = static_cast<int>(i);
    LongValuePages long_pages(source.pager(), def);
    writer.PrepareStoredCopy(def, same, [&](size_t column, ByteView stored) {
      return ReadLongValue(source.pager(), stored, long_pages, def.columns[column].id);
    });
    from.ScanStored([&](RowPointer where, ByteView row) {
      current = where;
      writer.InsertStored(row);
      ++copied.rows;
      return true;
    });
  }
  writer.Finish();
  transaction.Commit();
  copied.carried_keys = keys.used();
  return copied;
}

void RemoveCopy(const std::filesystem::path& destination) {
  std::error_code ec;
  std::filesystem::remove(destination, ec);
  std::filesystem::remove(JournalPathFor(destination), ec);
}

}  // namespace

CompactReport CompactDatabase(const std::filesystem::path& source_path,
                              const std::filesystem::path& destination, std::string_view password) {
  auto source = Database::Open(source_path, password);
  std::error_code ec;
  for (const auto& path : {destination, JournalPathFor(destination)}) {
    if (std::filesystem::exists(path, ec) || ec) {
      throw JetError(Problem::kFileExists, {.file = base::PathToUtf8(path)});
    }
  }
  CompactReport report;
  report.source_pages = source->pager().page_count();
  std::vector<SourceTable> tables = TablesOf(*source);
  try {
    {
      PinnedView page0 = source->pager().Page(0);
      WriteStartingFile(destination, page0);
    }
    std::map<uint32_t, uint32_t> pages;
    WriteDefinitions(destination, *source, tables, pages);
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
