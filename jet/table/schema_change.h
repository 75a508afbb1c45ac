// Creating tables and adding columns: the table definition, its usage maps and index roots,
// and the catalog rows (MSysObjects and its two indexes, MSysACEs) that make a table exist.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jet/format/column_type.h"

namespace jet {

class Database;

struct NewColumn {
  std::string name;
  ColumnType type = ColumnType::kLong;
  uint16_t length = 0;        // Text: characters (1..255); Binary: bytes
  bool fixed_length = false;  // CHAR(n): fixed, space-padded text
  bool autonumber = false;    // Long only
  uint8_t precision = 18;     // Numeric
  uint8_t scale = 0;
};

struct NewIndex {
  std::string name;
  std::vector<std::pair<std::string, bool>> columns;  // column name, ascending
  bool primary_key = false;
  bool unique = false;
  bool ignore_nulls = false;
};

// Checks a table, column or index name the way Jet does: 1 to 64 characters, no leading
// space, no control characters and none of . ! ` [ ]. Throws kInvalid.
void ValidateObjectName(const std::string& name);

// REQUIRES: a transaction is open. Throws kInvalid when the table exists (a view or query of
// that name included) or a column name repeats. Returns the new table's definition page.
uint32_t CreateTable(Database& db, const std::string& name, const std::vector<NewColumn>& columns,
                     const std::vector<NewIndex>& indexes);

// REQUIRES: a transaction is open. Rewrites only the definition: existing rows keep their
// bytes and read the new column as NULL. Throws kInvalid when the column exists.
void AddColumn(Database& db, const std::string& table, const NewColumn& column);

}  // namespace jet
