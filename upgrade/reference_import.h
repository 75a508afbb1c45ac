// The reference tables sj (phone-number prefixes), zdy (custom fields) and sfz (region
// codes): a data file that lacks one gets it filled with the template's rows. The copies
// are statements on the data file that name the template's table through TemplateRef, so
// the engine reads the template itself; no row passes through the program.
#pragma once

#include "upgrade/run_context.h"

#include <string>
#include <string_view>
#include <vector>

namespace upgrade {

// The reference tables, in the order they are imported.
inline constexpr const char* kReferenceTables[] = {"sj", "zdy", "sfz"};

// The template's columns that `table`'s copy names; empty when it copies them all.
std::vector<std::string> TemplateColumnsCopied(std::string_view table);

// Each table's creation and its copy are one transaction: a failed copy leaves no empty
// table behind that later runs would take as present.
void ImportReferenceTables(RunContext& run);

}  // namespace upgrade
