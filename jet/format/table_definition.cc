#include "jet/format/table_definition.h"

#include "jet/format/unicode.h"

namespace jet {
namespace {

// Reads `count` names stored as u16 byte length + UTF-16LE, advancing `pos`.
std::string ReadName(ByteView v, size_t& pos) {
  uint16_t bytes = v.U16(pos);
  pos += 2;
  std::string name = Utf16ToUtf8(ReadUtf16Le(v.Sub(pos, bytes)));
  pos += bytes;
  return name;
}

void RequireRoom(ByteView v, size_t pos, size_t count, size_t each, const char* what) {
  if (count > (v.size() - std::min(pos, v.size())) / each) {
    ThrowCorrupt(std::string("table definition claims ") + std::to_string(count) + " " + what +
                 ", more than its " + std::to_string(v.size()) + " bytes can hold");
  }
}

}  // namespace

const ColumnDefinition* TableDefinition::FindColumn(std::string_view name) const {
  for (const auto& c : columns) {
    if (EqualsIgnoreCase(c.name, name)) return &c;
  }
  return nullptr;
}

const ColumnDefinition* TableDefinition::ColumnById(uint16_t id) const {
  for (const auto& c : columns) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

TableDefinition DecodeTableDefinition(ByteView v) {
  using namespace tdef;
  if (v.U8(0) != 0x02) ThrowCorrupt("table definition page has the wrong page type");
  TableDefinition t;
  t.row_count = v.U32(kRowCount);
  t.last_autonumber = v.U32(0x14);
  t.autonumber_increment = v.I32(0x18);
  t.complex_autonumber = v.U32(0x1C);
  t.table_type = v.U8(0x28);
  t.next_column_id = v.U16(0x29);
  t.variable_columns = v.U16(0x2B);
  uint16_t column_count = v.U16(0x2D);
  uint32_t logical_count = v.U32(0x2F);
  uint32_t real_count = v.U32(0x33);
  t.owned_pages = RowPointer::FromStored(v.U32(0x37));
  t.free_pages = RowPointer::FromStored(v.U32(0x3B));

  if (real_count > logical_count || logical_count > 1000) {
    ThrowCorrupt("table definition has an impossible index count");
  }
  size_t pos = kBody;
  RequireRoom(v, pos, real_count, kIndexStatSize, "index statistics");
  t.real_indexes.resize(real_count);
  for (auto& ri : t.real_indexes) {
    ri.stat_unknown = v.U32(pos);
    ri.stat_unique_keys = v.U32(pos + 4);
    pos += kIndexStatSize;
  }

  RequireRoom(v, pos, column_count, kColumnSize, "columns");
  t.columns.resize(column_count);
  for (auto& c : t.columns) {
    ByteView d = v.Sub(pos, kColumnSize);
    if (!IsKnownColumnType(d.U8(0))) {
      ThrowCorrupt("column descriptor has unknown type code " + std::to_string(d.U8(0)));
    }
    c.type = static_cast<ColumnType>(d.U8(0));
    c.id = d.U16(0x05);
    c.variable_index = d.U16(0x07);
    c.ordinal = d.U16(0x09);
    for (int k = 0; k < 4; ++k) c.raw_misc[k] = d.U8(0x0B + k);
    c.sort_order = {d.U16(0x0B), d.U8(0x0D), d.U8(0x0E)};
    c.precision = d.U8(0x0B);
    c.scale = d.U8(0x0C);
    c.flags = d.U8(0x0F);
    c.extended_flags = d.U8(0x10);
    c.fixed_offset = d.U16(0x15);
    c.length = d.U16(0x17);
    pos += kColumnSize;
  }
  for (auto& c : t.columns) c.name = ReadName(v, pos);

  for (auto& ri : t.real_indexes) {
    ByteView b = v.Sub(pos, kRealIndexSize);
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
      uint16_t id = b.U16(4 + 3 * k);
      if (id == 0xFFFF) continue;
      // Order byte: 0x01 ascending, 0x00 descending.
      ri.columns.push_back({id, b.U8(4 + 3 * k + 2) != 0x00});
    }
    ri.usage_map = RowPointer::FromStored(b.U32(0x22));
    ri.root_page = b.U32(0x26);
    ri.reserved = b.U32(0x2A);
    ri.flags = b.U8(0x2E);
    pos += kRealIndexSize;
  }

  RequireRoom(v, pos, logical_count, kLogicalIndexSize, "logical indexes");
  t.logical_indexes.resize(logical_count);
  for (auto& li : t.logical_indexes) {
    ByteView b = v.Sub(pos, kLogicalIndexSize);
    li.number = b.U32(0x04);
    li.real_index = b.U32(0x08);
    li.related_table_type = b.U8(0x0C);
    li.related_index = b.I32(0x0D);
    li.related_table_page = b.U32(0x11);
    li.cascade_update = b.U8(0x15);
    li.cascade_delete = b.U8(0x16);
    li.type = b.U8(0x17);
    if (li.real_index >= real_count) ThrowCorrupt("logical index refers to a missing index");
    pos += kLogicalIndexSize;
  }
  for (auto& li : t.logical_indexes) li.name = ReadName(v, pos);

  // Long-value usage maps: (column id, owned, free) until the 0xFFFF terminator.
  // Some writers end the definition without the list; its absence means no long-value columns.
  for (;;) {
    if (pos + 2 > v.size()) break;
    uint16_t id = v.U16(pos);
    if (id == 0xFFFF) break;
    if (t.long_value_maps.size() > column_count) ThrowCorrupt("long-value map list is not terminated");
    t.long_value_maps.push_back({id, RowPointer::FromStored(v.U32(pos + 2)),
                                 RowPointer::FromStored(v.U32(pos + 6))});
    pos += 10;
  }
  return t;
}

}  // namespace jet
