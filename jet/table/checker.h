// The damage detector: compares what a database says about itself with what it holds, in one
// walk over its tables, and reports what it finds as data (finding.h), never as prose.
//
// For every table the walk can check, depending on what its caller needs:
//  - its references: every map (owned pages, pages with free space, each index's and each
//    long-value column's) reads and lists no page past the end of the file, each index's root
//    is an index page of this table, its definition runs on into no other table's; and, over
//    the file, no two tables share a definition or a map. The page allocator appends pages at
//    the end, so once these hold no page it hands out is one something still refers to;
//  - its structure: its maps list only pages of their kind (its own data pages; long-value
//    pages), and each index tree is whole (index pages of this table, all in the index's map,
//    leaves linked in order, entries in key order, each leading to a live row);
//  - its rows: every row reads, its long values included;
//  - in full: one index entry per live row, with the key the row's values give (where the sort
//    order is one the engine can encode), the stored row count against the rows, and every
//    page of the file accounted for (page_census.h).
//
// Whether a finding is damage is its own: a row count that differs from the rows, and pages
// neither used nor free, are notes, since Access itself leaves files so.
//
// The verbs: Check collects every finding; Find returns the first damage; Refuse throws
// kDamagedRefusedBeforeWriting quoting it; Require throws it as the kCorrupt error it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jet/table/finding.h"
#include "jet/table/page_census.h"

namespace jet {

class Database;
class Pager;
struct RealIndex;

struct CheckReport {
  std::vector<Finding> findings;  // damage and notes, in the order found
  PageCensus census;
  size_t tables = 0;
  size_t rows = 0;
  size_t index_entries = 0;
  size_t keys_compared = 0;       // entries whose key was recomputed from the row and compared
  size_t keys_not_encodable = 0;  // entries under sort orders the engine does not encode

  // No damage; notes may remain.
  bool ok() const { return DamageCount() == 0; }
  size_t DamageCount() const;
  // The findings without the places they name (Finding::WithoutPlaces): to hold a file's
  // findings after a write to those before it.
  std::multiset<Finding> FindingsWithoutPlaces() const;
};

// Every check of every table, and the census: `jetdb check`. Findings are collected, not
// thrown, so one run reports them all.
CheckReport CheckDatabase(Database& db);

// What a writer checks before a series of changes. A change that builds on a damaged structure
// spreads the damage (a page handed out while a table still lists it, rows placed on another
// table's page, an index rebuilt from a tree that lost entries), so the damage must be met
// before the first write.
struct WriteScope {
  // The references of every table, the structure of the system tables and of the tables whose
  // rows will change, the rows of the tables read (names not in the file are skipped: a
  // missing table is not damage). A table that only gains columns needs no more than its
  // references: adding a column rewrites its definition and places maps on its usage-map
  // page, nothing else.
  std::vector<std::string> rows_changed{};
  std::vector<std::string> read{};
  // Instead: everything CheckDatabase checks, for a file whose every table matters to its
  // owner though the changes touch few of them.
  bool whole_file = false;
};

// The first damage in `scope`, in the order CheckDatabase would report it; notes pass.
std::optional<Finding> FindFirstDamage(Database& db, const WriteScope& scope);

// Throws kDamagedRefusedBeforeWriting on FindFirstDamage's damage, quoting it and saying that
// the file was not changed and how to mend it.
void RefuseIfDamaged(Database& db, const WriteScope& scope);

// The engine's own guards, throwing the first damage (kCorrupt, naming file, table, page):
// the references of every table, before a database's first write...
void RequireReferencesWithinFile(Database& db);
// ...one table's structure, before its first change...
void RequireTableStructure(Database& db, uint32_t definition_page, const std::string& name);
// ...and, whenever a table is opened, the cheap test that its definition is where its catalog
// entry says: each index's root is an index page of the table defined at `definition_page`
// (a definition page holds no number of its own, but every index page names its table's).
void RequireIndexRoots(Pager& pager, const std::vector<RealIndex>& indexes,
                       uint32_t definition_page);

}  // namespace jet
