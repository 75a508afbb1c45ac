// Index keys: the byte strings a B-tree orders. Each column of the index contributes a flag
// byte (value or NULL, ascending or descending) and an order-preserving encoding of its value,
// so that unsigned byte comparison of whole keys gives the index order (doc/jet4-format.md
// §9.4).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/format/value.h"

namespace jet {

// Appends one column's key. Returns false (leaving `out` as it was) when the engine cannot
// produce Access's key: text under a sort order whose keys are not known for that value.
bool AppendColumnKey(const ColumnDefinition& column, bool ascending, const Value& value,
                     std::vector<uint8_t>& out);

// The whole key of `index` for a row whose values are given per column of `def.columns`
// (same order). nullopt when some column's key cannot be produced (see AppendColumnKey).
std::optional<std::vector<uint8_t>> EncodeIndexKey(const TableDefinition& def,
                                                   const RealIndex& index,
                                                   const std::vector<Value>& row);

// Where each column of `index` is in `def.columns`; def.columns.size() for a column the
// table does not have. Worked out once by a writer that encodes many keys.
std::vector<size_t> IndexColumnPositions(const TableDefinition& def, const RealIndex& index);

// EncodeIndexKey with the positions given, into `out` (replaced; its capacity is kept).
// False where EncodeIndexKey gives nullopt.
bool EncodeIndexKeyInto(const TableDefinition& def, const RealIndex& index,
                        const std::vector<size_t>& positions, const std::vector<Value>& row,
                        std::vector<uint8_t>& out);

// Why a key cannot be produced, for error messages: the sort order's name, e.g. "2052".
std::string SortOrderName(const SortOrder& order);

}  // namespace jet
