#include "jet/table/table.h"

#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/format/data_page.h"
#include "jet/format/page_size.h"
#include "jet/format/text_codec.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/stored_rows.h"

namespace jet {

ErrorFacts Table::Facts() const {
  return {.file = base::PathToUtf8(db_->pager().path()), .table = name_};
}

Table::Table(Database& db, uint32_t definition_page, std::string name)
    : db_(&db), definition_page_(definition_page), name_(std::move(name)) {
  // Validate now, not at first use, and check that the definition is this table's.
  WithFacts([this] { return Facts(); },
            [&] {
              RequireIndexRoots(db_->pager(), db_->Definition(definition_page_).real_indexes,
                              definition_page_);
            });
}

const TableDefinition& Table::definition() const {
  return db_->Definition(definition_page_);
}

void Table::DecodeRowInto(const RowLayout& layout, LongValuePages& long_value_pages, ByteView row,
                          const std::vector<bool>* decoded, std::vector<ColumnData>& parts,
                          std::vector<Value>& values) const {
  const TableDefinition& def = definition();
  SplitRow(def, layout, row, parts);
  values.resize(def.columns.size());
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDefinition& c = def.columns[i];
    // A column not decoded is never set: it stays as resize() made it, NULL.
    const bool wanted = !decoded || (*decoded)[i];
    if (IsLongValueType(c.type) && !parts[i].null) {
      if (!wanted) {
        CheckLongValue(db_->pager(), parts[i].bytes, long_value_pages, c.id);
        continue;
      }
      std::vector<uint8_t> bytes =
          ReadLongValue(db_->pager(), parts[i].bytes, long_value_pages, c.id);
      Value& v = values[i];
      v.integer = 0;
      v.real = 0;
      if (c.type == ColumnType::kMemo) {
        v.kind = ValueKind::kText;
        v.text.clear();
        v.bytes.clear();
        AppendTextAsUtf8(ByteView(bytes.data(), bytes.size()), v.text);
      } else {
        v.kind = ValueKind::kBinary;
        v.text.clear();
        v.bytes = std::move(bytes);
      }
    } else if (wanted) {
      DecodeColumnValue(c, parts[i], values[i]);
    }
  }
}

std::vector<uint32_t> Table::OwnedPages() const {
  return WithFacts(
      [this] { return Facts(); },
      [&] {
        std::vector<uint32_t> pages = ReadUsageMap(db_->pager(), definition().owned_pages);
        // Rows need pages, and Jet keeps a table's pages until the file is compacted: a map that
        // lists none for a table that counts rows is some other map (two usage-map pages swapped,
        // a pointer scribbled on). A count that is merely off, as Access leaves some, is no sign.
        if (pages.empty() && definition().row_count > 0) {
          ThrowCorrupt(Problem::kDamagedNoPagesForRows, {.number = definition().row_count});
        }
        return pages;
      });
}

namespace {

// The row's real bytes: the slot itself, or where its overflow pointer leads. The target
// slot is flagged deleted (so scans skip it) and is read as a plain row; Access moves a row
// at most once, to a place that is itself never a pointer.
PinnedView ResolveRow(Pager& pager, const PinnedView& page_of_slot, const RowSlot& slot,
                      uint32_t owner) {
  if (!slot.overflow) return page_of_slot.Pin(slot.bytes);
  if (slot.bytes.size() < 4) ThrowCorrupt(Problem::kDamagedOverflowRow);
  RowPointer target = RowPointer::FromStored(slot.bytes.U32(0));
  if (target.page == 0 || target.page >= pager.page_count()) {
    ThrowCorrupt(Problem::kDamagedOverflowRow);
  }
  PinnedView target_page = pager.Page(target.page);
  DataPageReader page(target_page);
  // A moved row stays among its table's pages; anywhere else is not a row of this table.
  if (page.owner() != owner) ThrowCorrupt(Problem::kDamagedOverflowRow);
  return target_page.Pin(page.Row(target.row).bytes);
}

}  // namespace

size_t Table::CountRows() const {
  return WithFacts([this] { return Facts(); }, [&] { return CountLiveRows(); });
}

size_t Table::CountLiveRows() const {
  Pager& pager = db_->pager();
  size_t rows = 0;
  for (uint32_t page_number : OwnedPages()) {
    PinnedView page = pager.Page(page_number, Pager::Use::kOnce);
    RequireTableDataPage(page, page_number, definition_page_);
    DataPageReader reader(page);
    for (uint16_t r = 0; r < reader.row_count(); ++r) {
      if (!reader.Row(r).deleted) ++rows;
    }
  }
  return rows;
}

void Table::Scan(const RowVisitor& visit) const {
  ScanDecoding(nullptr, visit);
}

void Table::ScanColumns(const std::vector<bool>& decoded, const RowVisitor& visit) const {
  if (decoded.size() != definition().columns.size()) throw JetError(Problem::kInternalRowShape);
  ScanDecoding(&decoded, visit);
}

void Table::ScanDecoding(const std::vector<bool>* decoded, const RowVisitor& visit) const {
  std::vector<ColumnData> parts;
  std::vector<Value> values;
  const RowLayout layout = LayoutOf(definition());
  LongValuePages long_value_pages(db_->pager(), definition());
  ScanStored([&](RowPointer where, ByteView bytes) {
    WithFacts([this] { return Facts(); },
              [&] { DecodeRowInto(layout, long_value_pages, bytes, decoded, parts, values); });
    return visit(where, values);
  });
}

// A failure of the visitor is its own (a copy's target table, say): only the reading is
// this table's.
void Table::ScanStored(const StoredRowVisitor& visit) const {
  bool visiting = false;
  WithFacts([&] { return visiting ? ErrorFacts{} : Facts(); },
            [&] {
              ScanStoredRows([&](RowPointer where, ByteView bytes) {
                visiting = true;
                bool more = visit(where, bytes);
                visiting = false;
                return more;
              });
            });
}

void Table::ScanStoredRows(const StoredRowVisitor& visit) const {
  Pager& pager = db_->pager();
  for (uint32_t page_number : OwnedPages()) {
    PinnedView page = pager.Page(page_number, Pager::Use::kOnce);
    RequireTableDataPage(page, page_number, definition_page_);
    DataPageReader reader(page);
    for (uint16_t r = 0; r < reader.row_count(); ++r) {
      RowSlot slot = reader.Row(r);
      if (slot.deleted) continue;
      PinnedView bytes = ResolveRow(pager, page, slot, definition_page_);
      if (!visit(RowPointer{page_number, static_cast<uint8_t>(r)}, bytes)) return;
    }
  }
}

std::vector<Value> Table::ReadRow(RowPointer where) const {
  return WithFacts([this] { return Facts(); }, [&] { return ReadLiveRow(where); });
}

std::vector<Value> Table::ReadLiveRow(RowPointer where) const {
  Pager& pager = db_->pager();
  if (where.page == 0 || where.page >= pager.page_count()) {
    ThrowCorrupt(Problem::kDamagedRowPointer, {.table = name_, .page = where.page});
  }
  PinnedView page = pager.Page(where.page);
  if (page.U8(0) != kPageData || page.U32(data_page::kOwner) != definition_page_) {
    ThrowCorrupt(Problem::kDamagedForeignPage, {.table = name_, .page = where.page});
  }
  DataPageReader reader(page);
  RowSlot slot = reader.Row(where.row);
  if (slot.deleted)
    ThrowCorrupt(Problem::kDamagedRowMissing,
                 {.table = name_, .page = where.page, .row = where.row});
  PinnedView bytes = ResolveRow(pager, page, slot, definition_page_);
  std::vector<ColumnData> parts;
  std::vector<Value> values;
  LongValuePages long_value_pages(pager, definition());
  DecodeRowInto(LayoutOf(definition()), long_value_pages, bytes, nullptr, parts, values);
  return values;
}

}  // namespace jet
