// `jetdb compact SRC DST`: writes a compacted copy of SRC to DST (which must not exist) and
// says, in Chinese, what it holds: each user table's rows, the system tables, the sizes.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace tools {

// Returns the exit status: 0 written, 1 refused or failed (nothing is left at DST).
int CompactCommand(const std::filesystem::path& source, const std::filesystem::path& destination,
                   const std::string& password, std::ostream& out, std::ostream& err);

}  // namespace tools
