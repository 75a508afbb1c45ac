// A new, empty demo database file in place of whatever was at its path.
#pragma once

#include <filesystem>

#include "tools/demo/demo_data.h"

namespace demo {

// Removes `path` and any journal beside it (a journal left by an interrupted run would
// otherwise be applied to the new file when it is first opened), then creates the file with
// the product's password and the options' sort order.
void CreateFreshDatabase(const std::filesystem::path& path, const DemoOptions& options);

}  // namespace demo
