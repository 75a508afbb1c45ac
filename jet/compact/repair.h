// Repairing a damaged Jet 4 database: the same copy as compaction, taking nothing on trust.
// The catalog and every table's rows are found by scanning the pages each table owns (data
// pages whose header names its definition page), never through usage maps or indexes; each
// row is decoded on its own. What cannot be read is left out and counted: a row that does not
// decode; a long value that does not read (the row is kept, the value NULL); a row a unique
// index refuses as a duplicate; a row whose key the engine cannot compute (Han text under
// 2052) and for which no entry of the source's index still points at it, since a key of our
// making would sit in the wrong place for Access (when that index does not read at all, the
// index is left out instead and every row kept). Indexes are rebuilt from the rows kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace jet::compact {

struct RepairedTable {
  std::string name;
  bool system = false;
  size_t rows_kept = 0;
  size_t rows_recorded = 0;     // the row count the definition holds (itself not trusted)
  size_t rows_unreadable = 0;   // slots or rows that did not decode
  size_t rows_duplicate = 0;    // refused by a unique index
  size_t rows_without_key = 0;  // a key neither computable nor carried over
  size_t rows_refused = 0;      // refused by the table otherwise (NULL in a key, too long)
  size_t long_values_lost = 0;  // kept as NULL
  size_t carried_keys = 0;
  size_t stale_pages = 0;  // pages naming the table that it gave up (see RowPages)
  size_t RowsLost() const {
    return rows_unreadable + rows_duplicate + rows_without_key + rows_refused;
  }
  // Rows the definition records beyond those found (on a page lost to damage, say).
  size_t RowsMissing() const {
    const size_t found = rows_kept + RowsLost();
    return rows_recorded > found ? rows_recorded - found : 0;
  }
  bool LostAnything() const { return RowsLost() + RowsMissing() + long_values_lost > 0; }
};

// A table whose definition did not read (nothing of it is in the copy), or that the copy
// refused to write into (it is there, empty).
struct LostTable {
  std::string name;
  uint32_t definition_page = 0;
  std::vector<uint32_t> pages;  // data pages naming that definition
  std::string reason;
};

// An index left out of the copy: its keys cannot be computed (Han text under 2052) and the
// source's index, where they would be carried from, does not read. Leaving the index out
// keeps every row; Access rebuilds the index when it is created again.
struct DroppedIndex {
  std::string table;
  std::string index;
};

struct RepairReport {
  std::vector<RepairedTable> tables;  // in catalog order
  std::vector<DroppedIndex> dropped_indexes;
  std::vector<LostTable> lost_tables;
  size_t catalog_rows_dropped = 0;  // rows of the catalog about lost tables
  uint32_t source_pages = 0;
  uint32_t pages = 0;
  bool LostAnything() const;
};

// Writes the repaired copy of `source` to `destination`. Throws JetError (nothing written,
// nothing left at `destination`): kFileExists as compaction does, a source that is not a Jet
// 4 file or whose password differs, or whose catalog cannot be read (MSysObjects's definition,
// or its row listing MSysObjects itself).
RepairReport RepairDatabase(const std::filesystem::path& source,
                            const std::filesystem::path& destination, std::string_view password);

}  // namespace jet::compact
