// Before the run's first change: both files are checked for damage in everything the run is
// about to trust, so a damaged file is refused while it is still as the user gave it. The old
// files this utility is handed may be damaged (power cuts, crashes, interrupted copies); a run
// that wrote into one would make it worse, and a run that failed halfway through would leave
// it half upgraded.
#pragma once

#include "upgrade/run_context.h"

namespace upgrade {

// The data file: every table's references, the structure and rows of `search` and the
// structure of the system tables. The template: the rows the run will copy from it (`search`, and
// `sj`, `zdy`, `sfz` where the data file lacks them). Throws DbFailure on damage, or when either
// file cannot be opened.
void CheckFilesBeforeUpgrade(RunContext& run);

}  // namespace upgrade
