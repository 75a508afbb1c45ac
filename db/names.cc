#include "db/names.h"

#include "jet/format/unicode.h"

namespace db {

bool SameName(std::string_view a, std::string_view b) {
  return jet::EqualsIgnoreCase(a, b);
}

}  // namespace db
