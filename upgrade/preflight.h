// Before the run's first change: what the run needs of its two files, proved from their
// table definitions, so that a run that cannot finish fails with nothing changed, naming
// the file that lacks what. (Failures nobody can foresee, a full disk say, still come later,
// and then the work done before them stays.)
#pragma once

#include <string>

#include "upgrade/run_context.h"

namespace upgrade {

// The data file and the template are two files (not one path, one link or one file by
// identity). The data file has `search` with the six columns the run reads and writes (`id`
// and `tablenum` numbers, `id` not an autonumber: the run sets it) and the tables whose
// columns the run completes. The template has `search` with the six columns, and each
// reference table the data file lacks, with the columns its copy names. Then the data file
// is opened for writing and its journal created, as the first commit will need. Throws
// DbFailure.
void CheckRunCanFinish(RunContext& run, const std::string& template_path);

}  // namespace upgrade
