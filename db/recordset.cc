#include "db/recordset.h"

#include "base/unicode.h"
#include "db/db_failure.h"
#include "db/row_cursor.h"

namespace db {

void Recordset::Close() {
  rows_.reset();
}

std::unique_ptr<Recordset> CreateRecordset(const std::string& program_id) {
  if (!base::EqualsIgnoreCase(program_id, "Adodb.Recordset")) {
    throw DbFailure(jet::Problem::kBadClassString, {.name = program_id});
  }
  return std::make_unique<Recordset>();
}

}  // namespace db
