// The table catalogue: every table of the current layout, with the statement that creates
// it. A run creates the ones the data file lacks and leaves the others exactly as they are.
#pragma once

#include <span>

#include "upgrade/run_context.h"

namespace upgrade {

// The progress positions travel with their table, so reordering the catalogue moves them
// along with it.
struct CatalogueEntry {
  const char* table;
  const char* statement;
  int progress_when_created;  // the bar's position once this table is created; 0 for none
  int progress_after;         // the bar's position after this entry, created or not; 0 for none
};

// In the order they are created.
std::span<const CatalogueEntry> TableCatalogue();

// Creates each catalogue table absent from TableList, moving the progress bar as it goes.
void CreateMissingTables(RunContext& run);

}  // namespace upgrade
