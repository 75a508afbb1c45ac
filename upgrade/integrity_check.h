// Before the run's first change: both files are checked for damage in everything the run is
// about to trust, so a damaged file is refused while it is still as the user gave it. The old
// files this utility is handed may be damaged (power cuts, crashes, interrupted copies); a run
// that wrote into one would make it worse, and a run that failed halfway through would leave
// it half upgraded.
#pragma once

#include "upgrade/run_context.h"

namespace upgrade {

// The data file: whole, as `jetdb check` checks it (every table's structures, rows, long
// values and indexes, and every page), passing only what Access itself leaves in files. The
// template: every table's references and the rows the run will copy from it (`search`, and
// `sj`, `zdy`, `sfz` where the data file lacks them). Throws DbFailure on damage, or when
// either file cannot be opened.
void CheckFilesBeforeUpgrade(RunContext& run);

}  // namespace upgrade
