// Splits a stored row into its columns. A row carries its own column count, so rows written
// before a column was added simply end early: every column they do not cover reads as NULL
// (doc/jet4-format.md §5.2, §5.3).
#pragma once

#include <vector>

#include "jet/format/bytes.h"
#include "jet/format/row_layout.h"
#include "jet/format/table_definition.h"
#include "jet/format/value.h"

namespace jet {

struct ColumnData {
  bool null = true;
  bool boolean = false;  // Boolean columns keep their value in the null mask
  ByteView bytes;        // fixed or variable bytes; for memo/OLE the 12-byte header + inline data
};

// One entry per column of `def.columns`, in the same order. Throws kCorrupt when the row's
// own offsets contradict its length.
std::vector<ColumnData> SplitRow(const TableDefinition& def, ByteView row);
// The same into `out`, reusing its storage.
void SplitRow(const TableDefinition& def, ByteView row, std::vector<ColumnData>& out);
// The same by a layout worked out once: scans and copies split every row.
// REQUIRES: `layout` is LayoutOf(def).
void SplitRow(const TableDefinition& def, const RowLayout& layout, ByteView row,
              std::vector<ColumnData>& out);

// Decodes a non-long-value column (everything but Memo and OLE).
Value DecodeColumnValue(const ColumnDefinition& column, const ColumnData& data);
// The same into `value`, which keeps its text and byte buffers for the next row's value.
void DecodeColumnValue(const ColumnDefinition& column, const ColumnData& data, Value& value);

}  // namespace jet
