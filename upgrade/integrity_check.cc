#include "upgrade/integrity_check.h"

#include <string>
#include <vector>

#include "upgrade/column_additions.h"

namespace upgrade {

void CheckFilesBeforeUpgrade(RunContext& run) {
  // `search` loses and gains rows; the five tables of the column phases gain columns. The
  // tables the run creates do not exist yet, and the system tables are always checked.
  std::vector<std::string> changed = {"search"};
  for (const TablePhase& phase : ColumnPhases()) changed.push_back(phase.table);
  run.data().CheckIntegrity(changed, {"search"});

  std::vector<std::string> copied = {"search"};
  for (const char* table : {"sj", "zdy", "sfz"}) {
    if (!run.tables.Contains(table)) copied.push_back(table);
  }
  run.components.ADOConnection2.CheckIntegrity({}, copied);
}

}  // namespace upgrade
