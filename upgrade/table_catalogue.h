// The table catalogue: every table of the current layout, with the statement that creates
// it. A run creates the ones the data file lacks and leaves the others exactly as they are.
#pragma once

#include <span>

#include "upgrade/run_context.h"

namespace upgrade {

struct CatalogueEntry {
  const char* table;
  const char* statement;
  int progress;  // the progress position once created; 0 for none
};

// In the order they are created.
std::span<const CatalogueEntry> TableCatalogue();

// Creates each catalogue table absent from TableList, moving the progress bar as it goes.
void CreateMissingTables(RunContext& run);

}  // namespace upgrade
