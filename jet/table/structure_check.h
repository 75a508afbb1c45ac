// What a writer checks before it trusts a file with a change. A reader meets damage where it
// reads and reports it; a writer must meet it before its first write, since a change that
// builds on a damaged structure spreads the damage: a page handed out while a table still
// lists it, rows placed on another table's page, an index rebuilt from a tree that lost
// entries. Each check throws the first damage it finds (kCorrupt, naming file, table, page).
//
// What the checks leave alone, because Access itself leaves files so: a definition's row
// count that differs from the rows a scan finds, pages neither used nor free, index keys under
// sort orders the engine cannot recompute, and free-page map bits for pages past the end of
// the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jet {

class Database;

// Every table's maps (owned pages, pages with free space, each index's and each long-value
// column's), its definition and each index's root: nothing refers to a page past the end of
// the file. The page allocator appends pages at the end, so once this holds, no page it
// hands out is one a table, an index or a long value still refers to. No two tables share a
// definition, and none runs on into another's first page. A few pages a table.
void CheckReferencesWithinFile(Database& db);

// One table in depth, without decoding its rows: its maps list only pages of the kind they
// should (its own data pages; long-value pages), and each index tree is whole (index pages of
// this table, all in the index's map, leaves linked in order, every entry leading to a live
// row, which takes one scan of the table's slots).
void CheckTableStructure(Database& db, uint32_t definition_page, const std::string& name);

// Every row of the table reads, its long values included.
void CheckTableRows(Database& db, const std::string& name);

// Before a series of changes: the references of every table, the structure of the system
// tables and of the tables whose rows will change (`rows_changed`), and the rows of the
// tables `read` (names not in the file are skipped: a missing table is not damage). A table that
// only gains columns needs no more than its references: adding a column rewrites its definition and
// places maps on its usage-map page, nothing else. Throws kDamagedRefusedBeforeWriting, quoting the
// damage and saying that the file was not changed and how to mend it.
void CheckBeforeWriting(Database& db, const std::vector<std::string>& rows_changed,
                        const std::vector<std::string>& read);

// Before a series of changes to a file whose every table matters to its owner, though the
// changes touch few of them: the whole file, as the consistency check (checker.h) checks it.
// Its notes, what Access itself leaves in files, pass. Throws kDamagedRefusedBeforeWriting, as
// CheckBeforeWriting does, quoting the first damage found.
void CheckWholeFileBeforeWriting(Database& db);

}  // namespace jet
