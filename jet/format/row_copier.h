// Turns stored rows of one table into stored rows of another without a trip through Value:
// fixed values keep their bytes, text is re-encoded by the target column's own rule and
// never leaves UTF-16, and the target row is written in one pass in the target's layout.
// Which source column feeds which target column, and how, is decided once per copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/format/bytes.h"
#include "jet/format/row_layout.h"
#include "jet/format/row_reader.h"
#include "jet/format/table_definition.h"

namespace jet {

class RowCopier {
 public:
  static constexpr int kNoSource = -1;

  // Column i of `target` takes source column `source_columns[i]`, or NULL for kNoSource.
  // REQUIRES: every pair has the same type, text and binary no longer in the source than
  // in the target, fixed length on both sides or neither (the table layer checks this), and
  // both definitions outlive the copier. Throws kCorrupt for a damaged target definition.
  RowCopier(const TableDefinition& source, const TableDefinition& target,
            const std::vector<int>& source_columns);

  // Splits a stored row of the source; throws kCorrupt when it contradicts its length.
  void Split(ByteView row);

  // After Split: the source value target column `column` takes, or nullptr when it has no
  // source or the value is NULL. Boolean values are in ColumnData::boolean.
  const ColumnData* SourceOf(size_t column) const;
  const ColumnDefinition& SourceColumn(size_t column) const;

  // Writes the split row in the target's stored form into `out` (its capacity is kept).
  // `supplied[i]`, where set, holds the stored bytes of a value the writer gives column i
  // instead: a new autonumber, the only kind of column it may be set for. Throws kValueTooLarge for
  // a value longer than its column (only a damaged source has one) and kRecordTooLarge for a row
  // over kMaxRowSize.
  void Assemble(const std::vector<std::optional<ByteView>>& supplied, std::vector<uint8_t>& out);

 private:
  enum class Kind : uint8_t { kBytes, kText, kFixedText };
  struct Column {
    int source = kNoSource;  // source column position
    Kind kind = Kind::kBytes;
  };
  [[noreturn]] void ThrowTooLong(size_t column) const;

  const TableDefinition& source_;
  const TableDefinition& target_;
  RowLayout source_layout_;
  RowLayout target_layout_;
  std::vector<Column> columns_;      // per target column
  std::vector<int> slot_columns_;    // per variable slot of the target: its column, or -1
  std::vector<ColumnData> parts_;    // the split source row
  std::u16string units_;             // one fixed-length text value, decoded
  std::vector<uint8_t> fixed_text_;  // the same, padded and encoded
  std::vector<uint16_t> slot_offsets_;
};

}  // namespace jet
