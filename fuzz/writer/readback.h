// The writer target's last word: the file, opened afresh, passes the checker and holds
// exactly the model's tables, columns and rows (rows in any order).
#pragma once

#include <filesystem>

#include "fuzz/writer/runner.h"

namespace fuzz::writer {

// `log` (the statements run) goes into the report of a mismatch.
void CheckFileMatches(const std::filesystem::path& path, const Model& model,
                      const std::vector<std::string>& log);

}  // namespace fuzz::writer
