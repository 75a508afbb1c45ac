// Jet compares table and column names without regard to letter case; so does everything
// above the engine that looks a name up.
#pragma once

#include <string_view>

namespace db {

bool SameName(std::string_view a, std::string_view b);

}  // namespace db
