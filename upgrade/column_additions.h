// Column additions: five existing tables of the data file get every column of the current
// layout they lack. Existing columns are never changed, whatever their type.
#pragma once

#include <span>

#include "upgrade/run_context.h"

namespace upgrade {

struct ColumnAddition {
  const char* column;
  const char* statement;
  // Tried a second time, at once, whatever the first failure was; only ContactPerson's
  // picture column. If the second try fails, its failure ends the run like any other.
  bool retried = false;
};

struct TablePhase {
  const char* table;
  int progress;
  const char* reading_query;  // its columns tell which additions are missing
  const char* status;
  std::span<const ColumnAddition> columns;
};

// Customer, ContactPerson, Sale, SaleList, product: in the order they run.
std::span<const TablePhase> ColumnPhases();

// Runs every table phase. (The tables were found present before the run's first change.)
void AddMissingColumns(RunContext& run);

}  // namespace upgrade
