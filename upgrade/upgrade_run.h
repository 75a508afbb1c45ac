// The upgrade run: one synchronous pass that brings a data file to the current layout from
// the template. Phases, in order: the search groups 10 and 11, the table catalogue, the
// reference tables, the column additions, the fixed search rows.
//
// Before its first change the run checks both files (integrity_check.h): a damaged file is
// refused as it is.
//
// A run never throws. Any failure ends it at once: the status is set to the empty text, the
// failure's message goes to UpgradeView::SetFailure, events are pumped, and the work already
// committed stays in the file. Each phase that deletes rows is all-or-nothing, and so is
// each reference table's creation with its copy, so a failure never loses rows or leaves
// a reference table empty for good.
#pragma once

#include <string>

#include "upgrade/run_context.h"
#include "upgrade/upgrade_summary.h"
#include "upgrade/upgrade_view.h"

namespace upgrade {

// `template_path` is the template's full path (TemplatePath; may be empty, and then the
// run fails at its first template read). `components.ADOQuery3` must be attached to the
// template connection; the run attaches the other two to the data file.
UpgradeSummary RunUpgrade(UpgradeComponents& components, const std::string& template_path,
                          UpgradeView& view);

}  // namespace upgrade
