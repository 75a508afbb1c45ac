// The consistency checker: compares what a database says about itself with what it holds.
// For every table: every row reads, its long values included; its free-space map lists its
// own data pages and its long-value maps long-value pages; every index is whole and agrees
// with the rows (one entry per live row, in key order, pointing at a live row, with the key
// the row's values give where the sort order is one the engine can encode); the stored row
// count against the rows. And every page of the file is accounted for (page_census.h).
//
// Findings are collected, not thrown, so one run reports them all. Whether a finding is
// damage is its own (finding.h): a row count that differs from the rows, and pages neither
// used nor free, are notes, since Access itself leaves files so. This is `jetdb check`, and,
// refusing on the first damage, the check of a data file before an upgrade changes it
// (structure_check.h).
#pragma once

#include <cstddef>
#include <vector>

#include "jet/table/finding.h"
#include "jet/table/page_census.h"

namespace jet {

class Database;

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
};

CheckReport CheckDatabase(Database& db);

}  // namespace jet
