// The small database the SQL and writer targets run statements against: the product's
// password, a few tables shaped like the product's (search definitions, customers with every
// column type, phone prefixes), a handful of rows, and one long value that spans pages.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fuzz {

// The statements that fill it, after CREATE TABLE.
const std::vector<std::string>& SmallDatabaseStatements();

// Creates it at `path` (which must not exist). Throws JetError.
void CreateSmallDatabase(const std::filesystem::path& path);

}  // namespace fuzz
