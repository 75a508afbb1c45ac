// `jetdb journal FILE [--discard]`: settles a journal that an open refused. It says whose
// journal it is and how the file compares with it; rolls it back or drops it when that is
// provably safe; drops it on --discard otherwise (never a file that is not our journal);
// and checks the database afterwards.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace tools {

// Returns the exit status: 0 settled (or nothing to settle) and the database consistent,
// 1 left unsettled or the database has problems, 2 the file could not be opened.
int SettleJournalCommand(const std::filesystem::path& database, const std::string& password,
                         bool discard, std::ostream& out, std::ostream& err);

}  // namespace tools
