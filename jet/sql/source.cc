#include "jet/sql/source.h"

#include <string>
#include <system_error>

#include "base/utf8_path.h"
#include "jet/error.h"

namespace jet::sql {

Source OpenSource(Database& local, const std::filesystem::path& local_path, const TableRef& ref) {
  Source src;
  src.ref = ref;
  src.db = &local;
  std::string where = base::PathToUtf8(local_path);
  if (ref.external) {
    std::error_code ec;
    std::filesystem::path path = base::PathFromUtf8(ref.path);
    bool same = std::filesystem::equivalent(path, local_path, ec);
    if (!same) {
      src.owned = Database::Open(path, ref.password, Pager::Mode::kReadOnly);
      src.db = src.owned.get();
      where = base::PathToUtf8(path);
    }
  }
  const CatalogEntry* entry = src.db->catalog().FindTable(ref.name);
  if (!entry) throw JetError(Problem::kTableNotFound, {.table = ref.name});
  if (entry->kind == ObjectKind::kView) {
    throw JetError(Problem::kSavedQuerySource, {.name = entry->name});
  }
  WithFacts({.file = where, .table = entry->name},
            [&] { src.table.emplace(src.db->OpenTable(*entry)); });
  return src;
}

}  // namespace jet::sql
