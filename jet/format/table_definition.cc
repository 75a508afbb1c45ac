#include "jet/format/table_definition.h"

#include <algorithm>
#include <utility>

#include "base/unicode.h"
#include "jet/format/row_layout.h"
#include "jet/format/text_codec.h"

namespace jet {
namespace {

// Reads `count` names stored as u16 byte length + UTF-16LE, advancing `pos`.
std::string ReadName(ByteView v, size_t& pos) {
  uint16_t bytes = v.U16(pos);
  pos += 2;
  std::string name = base::Utf16ToUtf8(ReadUtf16Le(v.Sub(pos, bytes)));
  pos += bytes;
  return name;
}

void RequireRoom(ByteView v, size_t pos, size_t count, size_t each, const char* /*what*/) {
  if (count > (v.size() - std::min(pos, v.size())) / each) {
    ThrowCorrupt(Problem::kDamagedDefinition);
  }
}

// Each column has places of its own in a row: its bit in the null mask (its id), and its
// variable slot or its bytes in the fixed area. Rows still read when a scribble gives two
// columns one place, each column finding its bytes where the other's are; but a row written
// by such a definition keeps only one of the two values. The header's counts of ids and of
// variable slots are high-water marks (columns deleted in Access leave gaps below them) from
// which an added column takes its places, so each must lie above every place in use.
void RequireOwnPlaces(const TableDefinition& t) {
  std::vector<uint16_t> ids, slots;
  std::vector<std::pair<size_t, size_t>> fixed;  // [start, end) in the fixed area
  for (const ColumnDefinition& c : t.columns) {
    ids.push_back(c.id);
    if (c.type == ColumnType::kBoolean) continue;  // its value is the null-mask bit
    if (!c.IsFixed()) {
      slots.push_back(c.variable_index);
    } else if (size_t size = FixedSizeOf(c); size > 0) {
      fixed.emplace_back(c.fixed_offset, c.fixed_offset + size);
    }
  }
  std::sort(ids.begin(), ids.end());
  std::sort(slots.begin(), slots.end());
  if ((!ids.empty() && ids.back() >= t.next_column_id) ||
      (!slots.empty() && slots.back() >= t.variable_columns)) {
    ThrowCorrupt(Problem::kDamagedDefinition);
  }
  std::sort(fixed.begin(), fixed.end());
  bool shared = std::adjacent_find(ids.begin(), ids.end()) != ids.end() ||
                std::adjacent_find(slots.begin(), slots.end()) != slots.end();
  for (size_t i = 1; i < fixed.size(); ++i) shared |= fixed[i].first < fixed[i - 1].second;
  if (shared) ThrowCorrupt(Problem::kDamagedDefinition);
}

}  // namespace

std::string TableDefinition::RealIndexName(size_t real) const {
  for (const LogicalIndex& li : logical_indexes) {
    if (li.real_index == real) return li.name;
  }
  return "#" + std::to_string(real);
}

const ColumnDefinition* TableDefinition::FindColumn(std::string_view name) const {
  for (const auto& c : columns) {
    if (base::EqualsIgnoreCase(c.name, name)) return &c;
  }
  return nullptr;
}

size_t TableDefinition::RequireColumn(std::string_view name) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name == name) return i;
  }
  ThrowCorrupt(Problem::kDamagedSystemColumn, {.column = std::string(name)});
}

const ColumnDefinition* TableDefinition::ColumnById(uint16_t id) const {
  for (const auto& c : columns) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

TableDefinition DecodeTableDefinition(ByteView v) {
  using namespace tdef;
  if (v.U8(0) != 0x02) ThrowCorrupt(Problem::kDamagedNotDefinitionPage);
  TableDefinition t;
  v.Check(0, kBody);
  std::copy(v.data(), v.data() + kBody, t.raw_header.begin());
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
    ThrowCorrupt(Problem::kDamagedDefinition);
  }
  size_t pos = kBody;
  RequireRoom(v, pos, real_count, kIndexStatSize, "index statistics");
  t.real_indexes.resize(real_count);
  for (auto& ri : t.real_indexes) {
    ri.stat_unknown = v.U32(pos);
    ri.stat_unique_keys = v.U32(pos + 4);
    ri.stat_reserved = v.U32(pos + 8);
    pos += kIndexStatSize;
  }

  RequireRoom(v, pos, column_count, kColumnSize, "columns");
  t.columns.resize(column_count);
  for (auto& c : t.columns) {
    ByteView d = v.Sub(pos, kColumnSize);
    if (!IsKnownColumnType(d.U8(0))) {
      ThrowCorrupt(Problem::kDamagedColumnType, {.number = d.U8(0)});
    }
    std::copy(d.data(), d.data() + kColumnSize, c.raw.begin());
    c.type = static_cast<ColumnType>(d.U8(0));
    c.id = d.U16(0x05);
    c.variable_index = d.U16(0x07);
    c.ordinal = d.U16(0x09);
    c.sort_order = {d.U16(0x0B), d.U8(0x0D), d.U8(0x0E)};
    c.precision = d.U8(0x0B);
    c.scale = d.U8(0x0C);
    c.flags = d.U8(0x0F);
    c.extended_flags = d.U8(0x10);
    c.fixed_offset = d.U16(0x15);
    c.length = d.U16(0x17);
    // A long value's header always lies in the row's variable part. A memo or OLE column
    // flagged fixed was scribbled, and rows read or written by that flag would take other
    // columns' bytes. (Numbers are not held to the fixed flag: Access's own system tables
    // have long integers without it.)
    if (IsLongValueType(c.type) && c.IsFixed()) ThrowCorrupt(Problem::kDamagedDefinition);
    pos += kColumnSize;
  }
  RequireOwnPlaces(t);
  for (auto& c : t.columns) c.name = ReadName(v, pos);

  for (auto& ri : t.real_indexes) {
    ByteView b = v.Sub(pos, kRealIndexSize);
    std::copy(b.data(), b.data() + kRealIndexSize, ri.raw.begin());
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
      uint16_t id = b.U16(4 + 3 * k);
      if (id == 0xFFFF) continue;
      // An index names its columns by id. One naming no column of the table was scribbled:
      // its keys cannot be built, and the next column added would take that id and give the
      // index keys it never held.
      if (!t.ColumnById(id)) ThrowCorrupt(Problem::kDamagedDefinition);
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
    li.trailer = b.U32(0x18);
    if (li.real_index >= real_count) ThrowCorrupt(Problem::kDamagedDefinition);
    pos += kLogicalIndexSize;
  }
  for (auto& li : t.logical_indexes) li.name = ReadName(v, pos);

  // Long-value usage maps: (column id, owned, free) until the 0xFFFF terminator.
  // Some writers end the definition without the list; its absence means no long-value columns.
  for (;;) {
    if (pos + 2 > v.size()) break;
    uint16_t id = v.U16(pos);
    if (id == 0xFFFF) break;
    if (t.long_value_maps.size() > column_count) ThrowCorrupt(Problem::kDamagedDefinition);
    // A column with two pairs of maps would write its values by one and read them by the other.
    for (const LongValueMaps& m : t.long_value_maps) {
      if (m.column_id == id) ThrowCorrupt(Problem::kDamagedDefinition);
    }
    t.long_value_maps.push_back(
        {id, RowPointer::FromStored(v.U32(pos + 2)), RowPointer::FromStored(v.U32(pos + 6))});
    pos += 10;
  }
  return t;
}

}  // namespace jet

namespace jet {
namespace {

void AppendName(const std::string& name, std::vector<uint8_t>& out) {
  std::u16string text = base::Utf8ToUtf16(name);
  size_t at = out.size();
  out.resize(at + 2 + 2 * text.size());
  PutU16(out.data() + at, static_cast<uint16_t>(2 * text.size()));
  for (size_t i = 0; i < text.size(); ++i) PutU16(out.data() + at + 2 + 2 * i, text[i]);
}

}  // namespace

std::vector<uint8_t> EncodeTableDefinition(const TableDefinition& t) {
  using namespace tdef;
  std::vector<uint8_t> out(t.raw_header.begin(), t.raw_header.end());
  uint8_t* h = out.data();
  h[0] = 0x02;
  h[1] = 0x01;
  PutU16(h + kFreeSpace, 0);
  PutU32(h + kNextPage, 0);
  PutU32(h + 0x0C, kMarker);
  PutU32(h + kRowCount, t.row_count);
  PutU32(h + 0x14, t.last_autonumber);
  PutU32(h + 0x18, static_cast<uint32_t>(t.autonumber_increment));
  PutU32(h + 0x1C, t.complex_autonumber);
  h[0x28] = t.table_type;
  PutU16(h + 0x29, t.next_column_id);
  PutU16(h + 0x2B, t.variable_columns);
  PutU16(h + 0x2D, static_cast<uint16_t>(t.columns.size()));
  PutU32(h + 0x2F, static_cast<uint32_t>(t.logical_indexes.size()));
  PutU32(h + 0x33, static_cast<uint32_t>(t.real_indexes.size()));
  PutU32(h + 0x37, t.owned_pages.ToStored());
  PutU32(h + 0x3B, t.free_pages.ToStored());

  for (const auto& ri : t.real_indexes) {
    uint8_t stat[kIndexStatSize];
    PutU32(stat, ri.stat_unknown);
    PutU32(stat + 4, ri.stat_unique_keys);
    PutU32(stat + 8, ri.stat_reserved);
    out.insert(out.end(), stat, stat + kIndexStatSize);
  }
  for (const auto& c : t.columns) {
    std::array<uint8_t, kColumnSize> d = c.raw;
    d[0] = static_cast<uint8_t>(c.type);
    PutU32(d.data() + 0x01, kMarker);
    PutU16(d.data() + 0x05, c.id);
    PutU16(d.data() + 0x07, c.variable_index);
    PutU16(d.data() + 0x09, c.ordinal);
    if (c.type == ColumnType::kNumeric) {
      d[0x0B] = c.precision;
      d[0x0C] = c.scale;
    } else {
      PutU16(d.data() + 0x0B, c.sort_order.lcid);
      d[0x0D] = c.sort_order.sort_id;
      d[0x0E] = c.sort_order.version;
    }
    d[0x0F] = c.flags;
    d[0x10] = c.extended_flags;
    PutU16(d.data() + 0x15, c.fixed_offset);
    PutU16(d.data() + 0x17, c.length);
    out.insert(out.end(), d.begin(), d.end());
  }
  for (const auto& c : t.columns) AppendName(c.name, out);
  for (const auto& ri : t.real_indexes) {
    std::array<uint8_t, kRealIndexSize> block = ri.raw;
    uint8_t* b = block.data();
    PutU32(b, kRealIndexMarker);
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
      if (k < ri.columns.size()) {
        PutU16(b + 4 + 3 * k, ri.columns[k].column_id);
        b[4 + 3 * k + 2] = ri.columns[k].ascending ? 0x01 : 0x00;
      } else if (ByteView(b, kRealIndexSize).U16(4 + 3 * k) != 0xFFFF) {
        PutU16(b + 4 + 3 * k, 0xFFFF);
        b[4 + 3 * k + 2] = 0;
      }
    }
    PutU32(b + 0x22, ri.usage_map.ToStored());
    PutU32(b + 0x26, ri.root_page);
    PutU32(b + 0x2A, ri.reserved);
    b[0x2E] = ri.flags;
    out.insert(out.end(), b, b + kRealIndexSize);
  }
  for (const auto& li : t.logical_indexes) {
    uint8_t b[kLogicalIndexSize] = {};
    PutU32(b, kMarker);
    PutU32(b + 0x04, li.number);
    PutU32(b + 0x08, li.real_index);
    b[0x0C] = li.related_table_type;
    PutU32(b + 0x0D, static_cast<uint32_t>(li.related_index));
    PutU32(b + 0x11, li.related_table_page);
    b[0x15] = li.cascade_update;
    b[0x16] = li.cascade_delete;
    b[0x17] = li.type;
    PutU32(b + 0x18, li.trailer);
    out.insert(out.end(), b, b + kLogicalIndexSize);
  }
  for (const auto& li : t.logical_indexes) AppendName(li.name, out);
  for (const auto& m : t.long_value_maps) {
    uint8_t b[10];
    PutU16(b, m.column_id);
    PutU32(b + 2, m.owned.ToStored());
    PutU32(b + 6, m.free.ToStored());
    out.insert(out.end(), b, b + 10);
  }
  out.push_back(0xFF);
  out.push_back(0xFF);
  PutU32(out.data() + kLength, static_cast<uint32_t>(out.size()));
  return out;
}

}  // namespace jet
