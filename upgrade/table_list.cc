#include "upgrade/table_list.h"

#include "db/names.h"

namespace upgrade {

bool TableList::Contains(std::string_view name) const {
  for (const auto& n : names_) {
    if (db::SameName(n, name)) return true;
  }
  return false;
}

}  // namespace upgrade
