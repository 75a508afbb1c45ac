#include "db/recordset.h"

#include "db/db_failure.h"
#include "db/row_cursor.h"
#include "jet/format/unicode.h"

namespace db {

void Recordset::Close() {
  rows_.reset();
}

std::unique_ptr<Recordset> CreateRecordset(const std::string& program_id) {
  if (!jet::EqualsIgnoreCase(program_id, "Adodb.Recordset")) {
    throw DbFailure(jet::Problem::kBadClassString, {.name = program_id});
  }
  return std::make_unique<Recordset>();
}

}  // namespace db
