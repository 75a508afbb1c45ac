// `jetdb repair SRC DST`: writes what can be read of a damaged SRC to DST (which must not
// exist) and says in Chinese, table by table, what was kept, what was lost and why.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace tools {

// Returns the exit status: 0 written and nothing lost, 1 written with something lost,
// 2 nothing could be written.
int RepairCommand(const std::filesystem::path& source, const std::filesystem::path& destination,
                  const std::string& password, std::ostream& out, std::ostream& err);

}  // namespace tools
