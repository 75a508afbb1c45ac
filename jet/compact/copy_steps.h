// The steps compaction and repair share: which tables a file has, the new file with every
// definition on its page, the ids that name a table and follow it there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jet/table/catalog.h"
#include "jet/table/database.h"

namespace jet::compact {

struct SourceTable {
  const CatalogEntry* entry;
  uint32_t page;          // definition page in the source
  uint32_t new_page = 0;  // and in the copy
};

// The local tables of `db`'s catalog, MSysObjects first: its page is 2 in every file.
// Throws kCorrupt when the catalog does not list MSysObjects.
std::vector<SourceTable> TablesOf(const Database& db);

// Throws kFileExists when `destination` or a journal beside it exists: a copy never writes
// over a file, which another program may hold.
void RefuseExisting(const std::filesystem::path& destination);

// Removes what a failed copy left at `destination`.
void RemoveCopy(const std::filesystem::path& destination);

// Creates `destination` with the header of `source` (page 0) and every table's definition, given
// storage of its own (fresh_storage.h), on the pages it is given here: MSysObjects keeps
// page 2. Fills each table's new_page and `pages` (source page to new page). `definitions`
// holds each table's source definition, in the order of `tables`.
void WriteDefinitions(const std::filesystem::path& destination, Pager& source,
                      std::vector<SourceTable>& tables,
                      const std::vector<const TableDefinition*>& definitions,
                      std::map<uint32_t, uint32_t>& pages);

// Positions of the columns of `def` (of system table `table`) that name a table by its id.
std::vector<size_t> TableIdColumns(const std::string& table, const TableDefinition& def);

// An id as stored, with its definition page replaced when it names a table.
int32_t MapId(int32_t id, const std::map<uint32_t, uint32_t>& pages);

}  // namespace jet::compact
