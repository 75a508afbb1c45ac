#include "jet/compact/copy_steps.h"

#include <system_error>

#include "base/unicode.h"
#include "base/utf8_path.h"
#include "jet/compact/fresh_storage.h"
#include "jet/compact/starting_file.h"
#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/table/definition_writer.h"

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

}  // namespace

std::vector<SourceTable> TablesOf(const Database& db) {
  std::vector<SourceTable> tables;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (e.type != kLocalTableType || e.id <= 0) continue;
    SourceTable t{&e, e.DefinitionPage()};
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

void RefuseExisting(const std::filesystem::path& destination) {
  std::error_code ec;
  for (const auto& path : {destination, JournalPathFor(destination)}) {
    if (std::filesystem::exists(path, ec) || ec) {
      throw JetError(Problem::kFileExists, {.file = base::PathToUtf8(path)});
    }
  }
}

void RemoveCopy(const std::filesystem::path& destination) {
  std::error_code ec;
  std::filesystem::remove(destination, ec);
  std::filesystem::remove(JournalPathFor(destination), ec);
}

void WriteDefinitions(const std::filesystem::path& destination, Pager& source,
                      std::vector<SourceTable>& tables,
                      const std::vector<const TableDefinition*>& definitions,
                      std::map<uint32_t, uint32_t>& pages) {
  {
    PinnedView page0 = source.Page(0);
    WriteStartingFile(destination, page0);
  }
  Pager pager(destination, Pager::Mode::kReadWrite);
  PageAllocator allocator(pager);
  pager.Begin();
  for (SourceTable& t : tables) {
    t.new_page = t.page == Catalog::kObjectsDefinitionPage ? t.page : allocator.Allocate();
    pages[t.page] = t.new_page;
  }
  uint32_t map_page = 0;  // shared: a table's maps take a few rows of a page
  for (size_t i = 0; i < tables.size(); ++i) {
    TableDefinition def =
        WithFreshStorage(pager, allocator, map_page, tables[i].new_page, *definitions[i], pages);
    WriteDefinition(pager, allocator, tables[i].new_page, def);
  }
  pager.Commit();
}

std::vector<size_t> TableIdColumns(const std::string& table, const TableDefinition& def) {
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

int32_t MapId(int32_t id, const std::map<uint32_t, uint32_t>& pages) {
  if (id <= 0 || (static_cast<uint32_t>(id) & 0xFF000000u) != 0) return id;
  auto it = pages.find(static_cast<uint32_t>(id));
  return it == pages.end() ? id : static_cast<int32_t>(it->second);
}

}  // namespace jet::compact
