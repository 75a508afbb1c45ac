// Inserting and deleting rows of one table within the open transaction, keeping everything
// that describes the rows current: the data pages and their usage maps, long-value pages,
// every index, the row count and the autonumber counter. Index and definition changes are
// gathered and written by Finish(), once per statement, so bulk inserts touch each index
// once. A TableWriter that is destroyed without Finish() leaves a transaction that must be
// rolled back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "jet/format/bytes.h"
#include "jet/format/data_page.h"
#include "jet/format/index_key_bytes.h"
#include "jet/format/row_copier.h"
#include "jet/format/row_reader.h"
#include "jet/format/row_writer.h"
#include "jet/format/table_definition.h"
#include "jet/format/value.h"
#include "jet/table/index_writer.h"
#include "jet/table/long_value_store.h"

namespace jet {

class Database;

// True when a value of column `from` is, stored as it is, a valid value of column `to` with
// the same meaning, and always fits it: the same type (not memo or OLE, whose values live
// on their file's own pages), text and binary no longer than `to` allows, decimals of the
// same scale and no greater precision.
bool CanCopyStored(const ColumnDefinition& from, const ColumnDefinition& to);

// True when both columns store their values alike (type, flags, length, precision, scale),
// as a table and its copy in another file do: a stored copy between them keeps every value,
// whatever the source holds.
bool SameStoredForm(const ColumnDefinition& from, const ColumnDefinition& to);

class TableWriter {
 public:
  // REQUIRES: `db` has a transaction open.
  TableWriter(Database& db, uint32_t definition_page, std::string name);
  // Not copied or moved: a prepared copy refers to this writer's own definition.
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  const TableDefinition& definition() const { return def_; }

  // Inserts a row; `values` follows definition().columns. A NULL autonumber column gets
  // the next number. Throws kConstraint (duplicate key, row too large, value too long) or
  // kUnsupported (a text key under a sort order the engine cannot encode) before anything
  // of this row is written to an index.
  RowPointer Insert(std::vector<Value> values);

  // Prepares InsertStored for rows of `source` (of this or another file): column i of this
  // table takes source column `source_columns[i]`, or NULL for kNoSource (an autonumber then
  // gets the next number). Each pair must pass CanCopyStored or SameStoredForm, so values
  // move as stored, text in its UTF-16 form, without a trip through Value. What each column
  // needs is worked out here once, not for every row. REQUIRES: `source` outlives the
  // InsertStored calls.
  //
  // A copy from another file may also take memo and OLE columns (of the same type): it
  // passes `long_values`, which returns the whole value from the bytes the source row stores
  // for column `column` (a position in this table), read from the source file's pages; the
  // value is stored anew on this file's pages.
  static constexpr int kNoSource = -1;
  using LongValueReader = std::function<std::vector<uint8_t>(size_t column, ByteView stored)>;
  void PrepareStoredCopy(const TableDefinition& source, const std::vector<int>& source_columns,
                         LongValueReader long_values = {});

  // Keys the engine cannot compute (text under a sort order whose keys it does not know) may
  // be carried over from the file a row comes from: `carried(real_index, key)` fills `key`
  // with the bytes Access wrote for the row being inserted, or returns false, and the insert
  // then fails as it would without it. The key still takes part in the unique checks.
  using KeySource = std::function<bool(size_t real_index, std::vector<uint8_t>& key)>;
  void CarryKeysFrom(KeySource carried) { carried_keys_ = std::move(carried); }

  // Inserts a stored row of the source PrepareStoredCopy named. Throws as Insert does.
  RowPointer InsertStored(ByteView row);

  // A hint that about `rows` rows are coming (a copy knows its source's row count): the
  // index entries they add are given room at once, not grown by doubling, which for a
  // large copy would hold both the old and the new list at its peak. At most
  // kMaxReservedRows are reserved, so a damaged count cannot ask for more.
  static constexpr size_t kMaxReservedRows = size_t{1} << 20;
  void ReserveRows(size_t rows);

  // Deletes the live row at `where` and its index entries. Its long values stay on their
  // pages until the file is compacted.
  void Delete(RowPointer where);

  // Writes the gathered index changes and the definition (row count, autonumber).
  void Finish();

 private:
  // Fills NULL autonumbers with the next numbers; returns the counter after this row.
  uint32_t AssignAutonumbers(std::vector<Value>& values) const;
  // The row's key in each index (nullopt where it has no entry), after the unique checks.
  void EncodeKeys(const std::vector<Value>& values, std::vector<std::optional<IndexKey>>& keys);
  // Writes an assembled row and records its index entries.
  RowPointer Store(const std::vector<uint8_t>& row, std::vector<std::optional<IndexKey>>& keys,
                   uint32_t autonumber);
  std::vector<std::optional<std::vector<uint8_t>>> EncodeColumns(const std::vector<Value>& values,
                                                                 std::vector<uint8_t>& booleans);
  RowPointer PlaceRow(const std::vector<uint8_t>& row);
  void CheckUnique(size_t index, const IndexKey& key);

  Database& db_;
  uint32_t definition_page_;
  std::string name_;
  TableDefinition def_;
  RowLayout layout_;
  std::vector<size_t> autonumber_columns_;  // positions of the Long autonumber columns
  // Per real index, where each of its columns is in def_.columns (as EncodeIndexKeyInto
  // takes them), and one buffer every key is encoded in before it is kept.
  std::vector<std::vector<size_t>> index_positions_;
  std::vector<uint8_t> key_buffer_;

  // A copy's rows move as stored bytes through copier_; values are decoded only for the
  // columns keys and autonumbers need (`decode`), and new autonumbers are `supplied`.
  std::unique_ptr<RowCopier> copier_;
  struct StoredCopyBuffers {
    std::vector<size_t> decode;
    std::vector<Value> values;
    std::vector<std::optional<ByteView>> supplied;
    std::vector<std::vector<uint8_t>> numbers;  // the supplied values' bytes
    std::vector<uint8_t> row;
    std::vector<std::optional<IndexKey>> keys;
    // Memo and OLE columns of a copy from another file, and their values' new stored bytes.
    std::vector<size_t> long_columns;
    std::vector<std::vector<uint8_t>> long_bytes;
    LongValueReader read_long_value;
  };
  StoredCopyBuffers stored_copy_;
  LongValueStore long_values_;
  KeySource carried_keys_;
  std::vector<IndexChanges> index_changes_;
  // Per unique index: the largest key this statement added, and (once keys stop arriving in
  // ascending order) the set of every key it added, for duplicate checks among new rows.
  std::vector<IndexKey> largest_new_key_;
  std::vector<std::optional<std::unordered_set<std::string>>> new_unique_keys_;
  // Per unique index: the largest key before this statement, read once. A new key above it
  // cannot collide with an existing entry (autonumbers always are), so no tree search.
  std::vector<std::optional<std::optional<IndexKey>>> last_existing_key_;
  std::optional<uint32_t> insert_page_;
  PageFill insert_page_fill_;  // what the last append left on insert_page_
  bool insert_page_searched_ = false;
  bool changed_ = false;
};

}  // namespace jet
