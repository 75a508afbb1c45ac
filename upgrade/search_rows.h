// The search-definition rows (table `search` in the data file and the template): which
// fields the customer-relationship application offers for searching, by group
// (`tablenum`: 1 Customer, 2 ContactPerson, 3 sale; 10 and 11 come from the template).
#pragma once

#include "upgrade/run_context.h"

#include <span>
#include <string>
#include <vector>

namespace upgrade {

// The columns of `search` the first phase copies from the template's rows.
std::span<const char* const> SearchColumnsCopied();

// The first phase's statements: the groups read from the template, the groups deleted from
// the data file, and the query whose columns the template's rows are added through.
inline constexpr char kGroupQuery[] = "select * from search where tablenum=10 or tablenum=11";
inline constexpr char kGroupDeletion[] = "delete from Search where tablenum=10 or tablenum=11";
inline constexpr char kSearchColumnsQuery[] = "select * from search";

// First phase: the data file's rows of groups 10 and 11 become exactly the template's.
// The template is read before anything is deleted, and the delete and the copies are one
// transaction, so a failure leaves the old rows in place.
void RefreshSearchGroups(RunContext& run);

// Last phase: removes the row with id 85 and every row named 创建时间 or 自定义字段, then
// writes rows 85 to 89; one transaction. Sets the progress to its end.
void RewriteFixedSearchRows(RunContext& run);

// The last phase's statements, in the order it runs them: the deletions, then the rows 85 to 89.
std::vector<std::string> FixedRowDeletions();
std::vector<std::string> FixedRowInsertions();

}  // namespace upgrade
