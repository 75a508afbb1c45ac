#include "tools/demo/database.h"

#include "jet/file/journal.h"
#include "jet/file/os_file.h"
#include "jet/table/database_creator.h"
#include "upgrade/product_database.h"

namespace demo {

void CreateFreshDatabase(const std::filesystem::path& path, const DemoOptions& options) {
  // Never under a program that has the file open: taking the lock a writer takes proves
  // nobody else holds it (kInUse otherwise).
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    jet::OsFile held(path, jet::OsFile::Access::kReadWrite, jet::OsFile::Lock::kExclusive);
  }
  std::filesystem::remove(path);
  std::filesystem::remove(jet::JournalPathFor(path));
  jet::CreateDatabase(path, upgrade::kDatabasePassword, jet::SortOrder{options.sort_order, 0, 0});
}

}  // namespace demo
