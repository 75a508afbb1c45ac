// Inserting and deleting rows of one table within the open transaction, keeping everything
// that describes the rows current: the data pages and their usage maps, long-value pages,
// every index, the row count and the autonumber counter. Index and definition changes are
// gathered and written by Finish(), once per statement, so bulk inserts touch each index
// once. A TableWriter that is destroyed without Finish() leaves a transaction that must be
// rolled back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/format/value.h"
#include "jet/table/index_writer.h"
#include "jet/table/long_value_store.h"

namespace jet {

class Database;

class TableWriter {
 public:
  // REQUIRES: `db` has a transaction open.
  TableWriter(Database& db, uint32_t definition_page, std::string name);

  const TableDefinition& definition() const { return def_; }

  // Inserts a row; `values` follows definition().columns. A NULL autonumber column gets
  // the next number. Throws kConstraint (duplicate key, row too large, value too long) or
  // kUnsupported (a text key under a sort order the engine cannot encode) before anything
  // of this row is written to an index.
  RowPointer Insert(std::vector<Value> values);

  // Deletes the live row at `where` and its index entries. Its long values stay on their
  // pages until the file is compacted.
  void Delete(RowPointer where);

  // Writes the gathered index changes and the definition (row count, autonumber).
  void Finish();

 private:
  std::vector<std::optional<std::vector<uint8_t>>> EncodeColumns(const std::vector<Value>& values,
                                                                 std::vector<bool>& booleans);
  RowPointer PlaceRow(const std::vector<uint8_t>& row);
  void CheckUnique(size_t index, const std::vector<uint8_t>& key);
  std::string IndexName(size_t real_index) const;

  Database& db_;
  uint32_t definition_page_;
  std::string name_;
  TableDefinition def_;
  LongValueStore long_values_;
  std::vector<IndexChanges> index_changes_;
  // Per unique index: the largest key this statement added, and (once keys stop arriving in
  // ascending order) the set of every key it added, for duplicate checks among new rows.
  std::vector<std::vector<uint8_t>> largest_new_key_;
  std::vector<std::optional<std::unordered_set<std::string>>> new_unique_keys_;
  // Per unique index: the largest key before this statement, read once. A new key above it
  // cannot collide with an existing entry (autonumbers always are), so no tree search.
  std::vector<std::optional<std::optional<std::vector<uint8_t>>>> last_existing_key_;
  std::optional<uint32_t> insert_page_;
  bool insert_page_searched_ = false;
  bool changed_ = false;
};

}  // namespace jet
