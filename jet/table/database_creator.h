// Creating a blank Jet 4 database: the header, the free-page map, the four system tables
// the engine itself needs (MSysObjects, MSysACEs, MSysQueries, MSysRelationships) and the
// catalog rows and permissions an engine-created file has. Access adds its own user-interface
// objects the first time it opens the file for writing.
#pragma once

#include <filesystem>
#include <string_view>

#include "jet/format/database_header.h"

namespace jet {

// Throws kInvalid if `path` exists, kInvalid for a password over 20 characters, and kIo
// when the file cannot be written (nothing is left behind then).
void CreateDatabase(const std::filesystem::path& path, std::string_view password,
                    SortOrder sort_order = kGeneralSortOrder);

}  // namespace jet
