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

// How each reference table is imported: its creation (none for zdy, which its copy makes with
// the template's columns) and its copy, whose text goes on with TemplateRef and the table's name.
struct ReferenceImport {
  const char* table;
  const char* create;  // nullptr: the copy creates the table
  const char* copy;
};

// The reference tables, in the order they are imported.
inline constexpr ReferenceImport kReferenceImports[] = {
    {"sj",
     "CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),"
     "DQ varchar(50),city varchar(50),qh int,type varchar(50))",
     "INSERT INTO sj ( CodeB, CodeE, DQ, city, QH, type ) SELECT sj.CodeB, sj.CodeE, sj.DQ, "
     "sj.city, sj.QH, sj.type FROM "},
    {"zdy", nullptr, "SELECT * into zdy FROM "},
    {"sfz", "CREATE TABLE sfz (bm int,dq char(50))",
     "INSERT INTO sfz ( bm,dq ) SELECT sfz.bm, sfz.dq FROM "},
};

// The template's columns that `table`'s copy names; empty when it copies them all.
std::vector<std::string> TemplateColumnsCopied(std::string_view table);

// Each table's creation and its copy are one transaction: a failed copy leaves no empty
// table behind that later runs would take as present.
void ImportReferenceTables(RunContext& run);

}  // namespace upgrade
