// The search-definition rows (table `search` in the data file and the template): which
// fields the customer-relationship application offers for searching, by group
// (`tablenum`: 1 Customer, 2 ContactPerson, 3 sale; 10 and 11 come from the template).
#pragma once

#include "upgrade/run_context.h"

#include <span>

namespace upgrade {

// The columns of `search` the first phase copies from the template's rows.
std::span<const char* const> SearchColumnsCopied();

// First phase: the data file's rows of groups 10 and 11 become exactly the template's.
// The template is read before anything is deleted, and the delete and the copies are one
// transaction, so a failure leaves the old rows in place.
void RefreshSearchGroups(RunContext& run);

// Last phase: removes the row with id 85 and every row named 创建时间 or 自定义字段, then
// writes rows 85 to 89; one transaction. Sets the progress to its end.
void RewriteFixedSearchRows(RunContext& run);

}  // namespace upgrade
