#include "db/names.h"

#include "base/unicode.h"

namespace db {

bool SameName(std::string_view a, std::string_view b) {
  return base::EqualsIgnoreCase(a, b);
}

}  // namespace db
