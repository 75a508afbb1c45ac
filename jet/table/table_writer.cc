#include "jet/table/table_writer.h"

#include <algorithm>
#include <cstring>

#include "base/unicode.h"
#include "jet/format/data_page.h"
#include "jet/format/index_key.h"
#include "jet/format/long_value.h"
#include "jet/format/row_copier.h"
#include "jet/format/row_reader.h"
#include "jet/format/row_writer.h"
#include "jet/format/text_codec.h"
#include "jet/format/text_key.h"
#include "jet/table/database.h"
#include "jet/table/definition_writer.h"
#include "jet/table/index_tree.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"
#include "jet/table/usage_map_editor.h"

namespace jet {
namespace {

// How many of the index's columns are null in `values`.
size_t NullsIn(const TableDefinition& def, const RealIndex& index,
               const std::vector<Value>& values) {
  size_t nulls = 0;
  for (const IndexColumn& ic : index.columns) {
    for (size_t i = 0; i < def.columns.size(); ++i) {
      if (def.columns[i].id == ic.column_id && values[i].IsNull()) ++nulls;
    }
  }
  return nulls;
}

bool AllNull(const TableDefinition& def, const RealIndex& index, const std::vector<Value>& values) {
  return NullsIn(def, index, values) == index.columns.size();
}

const LongValueMaps* MapsFor(const TableDefinition& def, uint16_t column_id) {
  for (const auto& m : def.long_value_maps) {
    if (m.column_id == column_id) return &m;
  }
  return nullptr;
}

}  // namespace

TableWriter::TableWriter(Database& db, uint32_t definition_page, std::string name)
    : db_(db),
      definition_page_(definition_page),
      name_(std::move(name)),
      def_(db.Definition(definition_page)),
      long_values_(db.pager(), db.allocator()),
      index_changes_(def_.real_indexes.size()),
      largest_new_key_(def_.real_indexes.size()),
      new_unique_keys_(def_.real_indexes.size()),
      last_existing_key_(def_.real_indexes.size()) {
  if (!db_.in_transaction()) throw JetError(Problem::kInternalNoTransaction);
  db_.CheckTableBeforeWriting(definition_page_, name_);
  layout_ = LayoutOf(def_);
  for (size_t i = 0; i < def_.columns.size(); ++i) {
    if (def_.columns[i].flags & ColumnDefinition::kFlagAutoLong) autonumber_columns_.push_back(i);
  }
  for (const RealIndex& index : def_.real_indexes) {
    index_positions_.push_back(IndexColumnPositions(def_, index));
  }
}

std::vector<std::optional<std::vector<uint8_t>>> TableWriter::EncodeColumns(
    const std::vector<Value>& values, std::vector<uint8_t>& booleans) {
  std::vector<std::optional<std::vector<uint8_t>>> columns(def_.columns.size());
  booleans.assign(def_.columns.size(), false);
  for (size_t i = 0; i < def_.columns.size(); ++i) {
    const ColumnDefinition& c = def_.columns[i];
    const Value& v = values[i];
    if (c.type == ColumnType::kBoolean) {
      booleans[i] = !v.IsNull() && v.integer != 0;
      continue;
    }
    if (v.IsNull()) continue;
    if (IsLongValueType(c.type)) {
      const LongValueMaps* maps = MapsFor(def_, c.id);
      if (!maps) ThrowCorrupt(Problem::kDamagedMissingUsageMap, {.table = name_, .column = c.name});
      std::vector<uint8_t> data;
      if (c.type == ColumnType::kMemo) {
        std::u16string text = base::Utf8ToUtf16(v.text);
        data = EncodeText(text, c.AllowsCompression() && text.size() <= 1024);
      } else {
        data = v.bytes;
      }
      columns[i] = long_values_.Store(*maps, ByteView(data.data(), data.size()));
    } else {
      columns[i] = EncodeColumnValue(c, v);
    }
  }
  return columns;
}

void TableWriter::CheckUnique(size_t index, const IndexKey& key) {
  auto& last = last_existing_key_[index];
  if (!last) last = LastIndexKey(db_.pager(), definition_page_, def_.real_indexes[index]);
  const bool above_existing = !*last || **last < key;
  IndexKey& largest = largest_new_key_[index];
  auto& seen = new_unique_keys_[index];
  const bool ascending = seen == std::nullopt && (largest.empty() || largest < key);

  bool duplicate = false;
  if (!ascending) {
    if (!seen) {
      // Keys stopped arriving in order: from now on remember every one.
      seen.emplace();
      for (const IndexEntry& e : index_changes_[index].added) {
        seen->emplace(e.key.begin(), e.key.end());
      }
    }
    duplicate = seen->count(std::string(key.begin(), key.end())) > 0;
  }
  if (!duplicate && !above_existing) {
    duplicate = IndexContainsKey(db_.pager(), definition_page_, def_.real_indexes[index], key,
                                 index_changes_[index].removed);
  }
  if (duplicate) {
    throw JetError(Problem::kDuplicateKey, {.table = name_, .index = def_.RealIndexName(index)});
  }
  if (seen) seen->emplace(key.begin(), key.end());
  if (largest.empty() || largest < key) largest = key;
}

RowPointer TableWriter::PlaceRow(const std::vector<uint8_t>& row) {
  Pager& pager = db_.pager();
  ByteView bytes(row.data(), row.size());
  if (!insert_page_searched_) {
    // Continue on the last page that is both owned and marked as having free space.
    insert_page_searched_ = true;
    std::vector<uint32_t> owned = ReadUsageMap(pager, def_.owned_pages);
    std::vector<uint32_t> free = ReadUsageMap(pager, def_.free_pages);
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
      PinnedView page = pager.Page(*it);
      if (std::binary_search(free.begin(), free.end(), *it) && page.U8(0) == kPageData &&
          page.U32(data_page::kOwner) == definition_page_) {
        insert_page_ = *it;
        break;
      }
    }
  }
  if (insert_page_) {
    if (auto slot = AppendRowToPage(pager.Modify(*insert_page_), bytes, &insert_page_fill_)) {
      return RowPointer{*insert_page_, static_cast<uint8_t>(*slot)};
    }
    // Full: it leaves the free-space map, so later inserts do not try it again.
    RemovePageFromUsageMap(pager, def_.free_pages, *insert_page_);
  }
  uint32_t page = db_.allocator().Allocate();
  InitDataPage(pager.Modify(page), definition_page_);
  AddPageToUsageMap(pager, db_.allocator(), def_.owned_pages, page);
  AddPageToUsageMap(pager, db_.allocator(), def_.free_pages, page);
  insert_page_ = page;
  insert_page_fill_ = PageFill{};
  auto slot = AppendRowToPage(pager.Modify(page), bytes, &insert_page_fill_);
  if (!slot) ThrowCorrupt(Problem::kDamagedDefinition, {.table = name_});
  return RowPointer{page, static_cast<uint8_t>(*slot)};
}

uint32_t TableWriter::AssignAutonumbers(std::vector<Value>& values) const {
  uint32_t autonumber = def_.last_autonumber;
  for (size_t i : autonumber_columns_) {
    Value& v = values[i];
    if (v.IsNull()) {
      autonumber += static_cast<uint32_t>(def_.autonumber_increment);
      // Set in place: a copy's values keep their buffers from row to row.
      v.kind = ValueKind::kLong;
      v.integer = static_cast<int32_t>(autonumber);
      v.real = 0;
      v.text.clear();
      v.bytes.clear();
    } else if (v.integer > static_cast<int32_t>(autonumber)) {
      autonumber = static_cast<uint32_t>(v.integer);
    }
  }
  return autonumber;
}

void TableWriter::EncodeKeys(const std::vector<Value>& values,
                             std::vector<std::optional<IndexKey>>& keys) {
  keys.resize(def_.real_indexes.size());
  for (size_t r = 0; r < def_.real_indexes.size(); ++r) {
    keys[r].reset();
    const RealIndex& index = def_.real_indexes[r];
    const std::vector<size_t>& positions = index_positions_[r];
    size_t nulls = 0;
    for (size_t p : positions) {
      if (p < values.size() && values[p].IsNull()) ++nulls;
    }
    // A primary key (an index Jet marks required) takes no empty value, as in Access.
    if ((index.flags & RealIndex::kFlagRequired) && nulls > 0) {
      throw JetError(Problem::kNullInKey, {.table = name_, .index = def_.RealIndexName(r)});
    }
    bool all_null = nulls == index.columns.size();
    if (all_null && index.IgnoresNulls()) continue;  // the row has no entry in this index
    if (!EncodeIndexKeyInto(def_, index, positions, values, key_buffer_) &&
        !(carried_keys_ && carried_keys_(r, key_buffer_))) {
      std::optional<uint64_t> order;
      bool order_has_keys = true;
      for (const IndexColumn& ic : index.columns) {
        const ColumnDefinition* c = def_.ColumnById(ic.column_id);
        if (!c || !IsTextType(c->type)) continue;
        // A sort order without keys is the reason whatever the other columns hold.
        const bool has_keys = MakesTextKeysUnder(c->sort_order.lcid, c->sort_order.version);
        if (order_has_keys) order = c->sort_order.lcid;
        order_has_keys &= has_keys;
      }
      throw JetError(order_has_keys ? Problem::kCannotIndex : Problem::kCannotIndexUnderSortOrder,
                     {.table = name_, .index = def_.RealIndexName(r), .number = order});
    }
    keys[r].emplace(key_buffer_.data(), key_buffer_.size());
    if (index.IsUnique() && !all_null) CheckUnique(r, *keys[r]);
  }
}

RowPointer TableWriter::Store(const std::vector<uint8_t>& row,
                              std::vector<std::optional<IndexKey>>& keys, uint32_t autonumber) {
  RowPointer where = PlaceRow(row);
  for (size_t r = 0; r < keys.size(); ++r) {
    if (keys[r]) index_changes_[r].added.push_back(IndexEntry{std::move(*keys[r]), where, 0});
  }
  def_.last_autonumber = autonumber;
  ++def_.row_count;
  changed_ = true;
  return where;
}

RowPointer TableWriter::Insert(std::vector<Value> values) {
  if (values.size() != def_.columns.size()) {
    throw JetError(Problem::kInternalRowShape, {.table = name_});
  }
  uint32_t autonumber = AssignAutonumbers(values);
  // Keys first: a value the engine cannot index, or a duplicate, stops the row before any
  // of it is written.
  std::vector<std::optional<IndexKey>> keys;
  EncodeKeys(values, keys);
  std::vector<uint8_t> booleans;
  auto columns = EncodeColumns(values, booleans);
  return Store(AssembleRow(def_, layout_, columns, booleans), keys, autonumber);
}

void TableWriter::PrepareStoredCopy(const TableDefinition& source,
                                    const std::vector<int>& source_columns,
                                    LongValueReader long_values) {
  const size_t n = def_.columns.size();
  if (source_columns.size() != n) {
    throw JetError(Problem::kInternalRowShape, {.table = name_});
  }
  StoredCopyBuffers& b = stored_copy_;
  b.decode.clear();
  b.long_columns.clear();
  for (size_t i = 0; i < n; ++i) {
    const ColumnDefinition& c = def_.columns[i];
    if (source_columns[i] != kNoSource) {
      const size_t from = static_cast<size_t>(source_columns[i]);
      const bool long_value = long_values && from < source.columns.size() &&
                              IsLongValueType(c.type) && source.columns[from].type == c.type;
      if (from >= source.columns.size() || !(long_value || CanCopyStored(source.columns[from], c) ||
                                             SameStoredForm(source.columns[from], c))) {
        throw JetError(Problem::kInternalStoredCopy, {.column = c.name});
      }
      if (long_value) {
        if (!MapsFor(def_, c.id)) {
          ThrowCorrupt(Problem::kDamagedMissingUsageMap, {.table = name_, .column = c.name});
        }
        b.long_columns.push_back(i);
      }
    }
    // Values only where keys and autonumbers need them; every other column moves as bytes.
    bool decode = (c.flags & ColumnDefinition::kFlagAutoLong) != 0;
    for (const auto& positions : index_positions_) {
      decode |= std::find(positions.begin(), positions.end(), i) != positions.end();
    }
    if (decode) b.decode.push_back(i);
  }
  copier_ = std::make_unique<RowCopier>(source, def_, source_columns);
  b.values.assign(n, Value{});
  b.supplied.assign(n, std::nullopt);
  b.numbers.assign(n, {});
  b.long_bytes.assign(n, {});
  b.read_long_value = std::move(long_values);
}

RowPointer TableWriter::InsertStored(ByteView row) {
  if (!copier_) throw JetError(Problem::kInternalRowShape, {.table = name_});
  RowCopier& copier = *copier_;
  // One set of buffers serves every row of a copy: a row costs no allocation but a long
  // index key.
  StoredCopyBuffers& b = stored_copy_;
  copier.Split(row);
  for (size_t i : b.decode) {
    if (const ColumnData* data = copier.SourceOf(i)) {
      DecodeColumnValue(copier.SourceColumn(i), *data, b.values[i]);
    } else {
      b.values[i].kind = ValueKind::kNull;  // its buffers stay for the next row
    }
  }
  uint32_t autonumber = AssignAutonumbers(b.values);
  for (size_t i : autonumber_columns_) {
    // An autonumber the source did not give: this row's new number.
    b.supplied[i].reset();
    if (copier.SourceOf(i)) continue;
    std::vector<uint8_t>& number = b.numbers[i];
    if (def_.columns[i].type == ColumnType::kLong) {
      number.resize(4);
      PutU32(number.data(), static_cast<uint32_t>(b.values[i].integer));
    } else {
      number = EncodeColumnValue(def_.columns[i], b.values[i]);
    }
    b.supplied[i] = ByteView(number.data(), number.size());
  }
  // Long values are read whole; one an index keys (a memo) is its key's value.
  for (size_t i : b.long_columns) {
    b.supplied[i].reset();
    b.long_bytes[i].clear();
    const ColumnData* data = copier.SourceOf(i);
    if (!data) continue;
    b.long_bytes[i] = b.read_long_value(i, data->bytes);
    if (std::find(b.decode.begin(), b.decode.end(), i) == b.decode.end()) continue;
    const std::vector<uint8_t>& value = b.long_bytes[i];
    Value& v = b.values[i];
    v = Value{};
    if (def_.columns[i].type == ColumnType::kMemo) {
      v.kind = ValueKind::kText;
      AppendTextAsUtf8(ByteView(value.data(), value.size()), v.text);
    } else {
      v.kind = ValueKind::kBinary;
      v.bytes = value;
    }
  }
  // Keys first: a duplicate stops the row before any of it is written.
  EncodeKeys(b.values, b.keys);
  for (size_t i : b.long_columns) {
    if (!copier.SourceOf(i)) continue;
    std::vector<uint8_t>& value = b.long_bytes[i];
    value = long_values_.Store(*MapsFor(def_, def_.columns[i].id),
                               ByteView(value.data(), value.size()));
    b.supplied[i] = ByteView(value.data(), value.size());
  }
  copier.Assemble(b.supplied, b.row);
  return Store(b.row, b.keys, autonumber);
}

void TableWriter::ReserveRows(size_t rows) {
  rows = std::min(rows, kMaxReservedRows);
  for (IndexChanges& changes : index_changes_) {
    changes.added.reserve(changes.added.size() + rows);
  }
}

bool SameStoredForm(const ColumnDefinition& from, const ColumnDefinition& to) {
  return from.type == to.type && !IsLongValueType(to.type) && from.flags == to.flags &&
         from.length == to.length && from.precision == to.precision && from.scale == to.scale;
}

bool CanCopyStored(const ColumnDefinition& from, const ColumnDefinition& to) {
  if (from.type != to.type) return false;
  switch (to.type) {
    case ColumnType::kMemo:
    case ColumnType::kOle:
      return false;  // long values live on the source file's own pages
    case ColumnType::kText:
      // Every value fits (so there is no length failure to word differently), and padding
      // means the same on both sides.
      return from.length <= to.length && from.IsFixed() == to.IsFixed();
    case ColumnType::kBinary:
      return from.length <= to.length && !from.IsFixed() && !to.IsFixed();
    case ColumnType::kNumeric:
      // The stored magnitude counts units of 10^-scale, so only the same scale keeps the
      // value, and only a precision as large keeps it within the column. A variable source
      // (as Jackcess writes them) may hold any length and goes value by value.
      return from.scale == to.scale && from.precision <= to.precision && from.IsFixed();
    default:
      return true;  // fixed-size types: the same bytes mean the same value
  }
}

void TableWriter::Delete(RowPointer where) {
  Pager& pager = db_.pager();
  // Must be a live row of this table; its values give the keys of its index entries.
  std::vector<Value> values = Table(db_, definition_page_, name_).ReadRow(where);
  PinnedView page = pager.Page(where.page);
  DataPageReader reader(page);
  RowSlot slot = reader.Row(where.row);
  ByteView stored = slot.bytes;
  if (slot.overflow) {
    // The row lives elsewhere; delete both the pointer and the row it points at.
    RowPointer target = RowPointer::FromStored(stored.U32(0));
    MarkRowDeleted(pager.Modify(target.page), target.row);
  }
  // The row's memo and OLE values stay on their pages, unreferenced, until the file is
  // compacted, as Access and Jackcess leave them: flagging those rows deleted would make
  // readers that take the neighbouring slot's offset unmasked (mdb-reader) misread the
  // long values stored after them.
  MarkRowDeleted(pager.Modify(where.page), where.row);
  for (size_t r = 0; r < def_.real_indexes.size(); ++r) {
    IndexChanges& changes = index_changes_[r];
    const RealIndex& index = def_.real_indexes[r];
    // A row added earlier in this statement has no entry in the tree yet.
    auto& added = changes.added;
    size_t before = added.size();
    added.erase(std::remove_if(added.begin(), added.end(),
                               [&](const IndexEntry& e) { return e.row == where; }),
                added.end());
    if (added.size() != before) continue;
    if (index.IgnoresNulls() && AllNull(def_, index, values)) continue;  // it has no entry
    changes.removed.insert(where);
    if (auto key = EncodeIndexKey(def_, index, values)) {
      changes.removed_entries.push_back(IndexEntry{std::move(*key), where, 0});
    } else {
      changes.removed_keys_known = false;
    }
  }
  if (def_.row_count > 0) --def_.row_count;
  changed_ = true;
}

void TableWriter::Finish() {
  if (!changed_) return;
  for (size_t r = 0; r < def_.real_indexes.size(); ++r) {
    ApplyIndexChanges(db_.pager(), db_.allocator(), definition_page_, def_.real_indexes[r],
                      std::move(index_changes_[r]));
    index_changes_[r] = {};
  }
  WriteDefinition(db_.pager(), db_.allocator(), definition_page_, def_);
  db_.ForgetDefinition(definition_page_);
  changed_ = false;
}

}  // namespace jet
