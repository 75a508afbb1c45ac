// The rows of the `search` table: which fields the application's search dialog offers, in
// groups (tablenum) per screen. The template carries the current groups 10 and 11 (competitors
// and their products), which an upgrade copies into customer files; the old data file
// carries groups 1 to 3 as an old release left them, plus two rows an upgrade must deal with.
#pragma once

#include <span>
#include <string_view>

#include "jet/sql/session.h"

namespace demo {

struct SearchField {
  int id;
  std::string_view name;     // the label shown to the user
  std::string_view field;    // the column searched
  std::string_view numtype;  // "str" or "num": how the dialog compares
  std::string_view tablename;
  int tablenum;  // the group
};

// Groups 10 and 11 (ids 101 to 112) and a few rows of groups 1 to 3 (ids 1 to 5).
std::span<const SearchField> TemplateSearchFields();
// Ids 1 to 84 in groups 1 to 3, an outdated group-10 row (id 95) and a stray 创建时间 row
// (id 90).
std::span<const SearchField> OldSearchFields();

// Creates `search` in the session's file and fills it with `rows`.
void WriteSearchTable(jet::sql::Session& session, std::span<const SearchField> rows);

}  // namespace demo
