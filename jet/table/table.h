// A table of an open database: its definition, a scan over its live rows in storage order,
// reads of single rows, and the pages it owns.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/format/bytes.h"
#include "jet/format/row_pointer.h"
#include "jet/format/row_reader.h"
#include "jet/format/table_definition.h"
#include "jet/format/value.h"

namespace jet {

class LongValuePages;

class Database;

class Table {
 public:
  Table(Database& db, uint32_t definition_page, std::string name);

  const std::string& name() const { return name_; }
  uint32_t definition_page() const { return definition_page_; }
  const TableDefinition& definition() const;

  // Calls `visit(where, values)` for every live row, values in definition().columns order.
  // Overflowed rows are read at their real place but reported at their slot. Return false
  // from `visit` to stop.
  using RowVisitor = std::function<bool(RowPointer, const std::vector<Value>&)>;
  void Scan(const RowVisitor& visit) const;

  // The same walk, decoding only the columns `decoded` marks (one flag per column); the
  // others read as NULL. Every row is still split into its columns and every long value
  // read, so a table that scans here reads whole: for a check that needs a few columns'
  // values (an index's) of every row.
  void ScanColumns(const std::vector<bool>& decoded, const RowVisitor& visit) const;

  // The same walk, handing each live row's stored bytes (after an overflow pointer) instead
  // of its values: for copies that move rows between Jet tables without decoding them. The
  // bytes are valid during the call.
  using StoredRowVisitor = std::function<bool(RowPointer, ByteView)>;
  void ScanStored(const StoredRowVisitor& visit) const;

  // The number of live rows, as a scan would find them, without decoding any: a moved row
  // counts once, at its slot.
  size_t CountRows() const;

  // Reads one live row; throws kCorrupt if `where` is not a live row of this table.
  std::vector<Value> ReadRow(RowPointer where) const;

  // Data pages listed in the table's owned-pages map.
  std::vector<uint32_t> OwnedPages() const;

 private:
  // This table and its file, for a failure that does not name them yet (see WithFacts).
  ErrorFacts Facts() const;
  void ScanStoredRows(const StoredRowVisitor& visit) const;
  // Decodes one stored row's bytes (after following an overflow pointer) into `values`,
  // reusing its buffers (and `parts`, the row split into columns), so a scan allocates
  // nothing per row once the first rows have sized them. With `decoded`, only the columns it
  // marks.
  void DecodeRowInto(const RowLayout& layout, LongValuePages& long_value_pages, ByteView row,
                     const std::vector<bool>* decoded, std::vector<ColumnData>& parts,
                     std::vector<Value>& values) const;
  void ScanDecoding(const std::vector<bool>* decoded, const RowVisitor& visit) const;
  size_t CountLiveRows() const;
  std::vector<Value> ReadLiveRow(RowPointer where) const;

  Database* db_;
  uint32_t definition_page_;
  std::string name_;
};

}  // namespace jet
