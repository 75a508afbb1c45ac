#include "tools/demo/database.h"

#include "jet/file/journal.h"
#include "jet/table/database_creator.h"

namespace demo {

void CreateFreshDatabase(const std::filesystem::path& path, const DemoOptions& options) {
  std::filesystem::remove(path);
  std::filesystem::remove(jet::JournalPathFor(path));
  jet::CreateDatabase(path, kDemoPassword, jet::SortOrder{options.sort_order, 0, 0});
}

}  // namespace demo
