// The page census: every page of the file accounted for. A page is the file header, a page of
// a table's definition, one of a table's data pages, a page of one index, of one long-value
// column or a bitmap page of one usage map, a page that holds usage-map rows (shared: the maps
// of many tables may sit on one), or free in the file's free-page map (page 1, row 0).
//
// Damage is a page with two owners, or with an owner and marked free: either way a writer
// would one day hand it out while something still uses it, and two structures would write
// over each other. A page with no owner that is not marked free is leaked space, not damage:
// Access leaves such pages (a dropped table, a page it released without marking it), and
// compacting reclaims them. The census reports them so a test can hold this engine, which
// marks every page it frees, to leaking none.
//
// The census reads definitions and usage maps only, never rows: a few pages per table, plus
// one pass over an array of one word per page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/table/finding.h"

namespace jet {

class Database;

struct PageCensus {
  uint32_t pages = 0;            // in the file
  uint32_t claimed = 0;          // pages with an owner
  uint32_t free = 0;             // marked free and claimed by none
  std::vector<uint32_t> leaked;  // neither claimed nor free, ascending
  // Pages claimed twice, or claimed and marked free; two maps on one usage-map row; a
  // free-page map that cannot be read.
  std::vector<Finding> damage;
};

// Takes the census. A table whose definition cannot be read, or a map of a table that cannot,
// is left out of it (its pages may then show as leaked): the consistency check reads those
// itself and reports why. The free-page map, which only the census reads, is reported here
// when it cannot be read.
PageCensus TakePageCensus(Database& db);

// The note leaked pages make: how many, and the first `max_ranges` runs of them
// ("40-41, 57").
Finding LeakedPagesNote(const std::vector<uint32_t>& leaked, size_t max_ranges = 20);

}  // namespace jet
