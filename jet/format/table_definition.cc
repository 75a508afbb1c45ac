#include "jet/format/table_definition.h"

#include <algorithm>
#include <utility>

#include "base/unicode.h"
#include "jet/format/page_size.h"
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

// --- The fields of each part, listed once for the decoder and the encoder ---
//
// Each list below names a part's fields with their offsets (from the part's start) and
// widths. DecodeTableDefinition runs a list with a FieldReader, EncodeTableDefinition with
// a FieldWriter, so the two cannot disagree about where a field lives. Bytes no list names
// are kept as they were read (the raw copies in the definition).

// Reads each field of a part into the definition.
class FieldReader {
 public:
  static constexpr bool kReads = true;
  explicit FieldReader(ByteView part) : part_(part) {}
  void U8(size_t at, uint8_t& v) const { v = part_.U8(at); }
  void U16(size_t at, uint16_t& v) const { v = part_.U16(at); }
  void U32(size_t at, uint32_t& v) const { v = part_.U32(at); }
  void I32(size_t at, int32_t& v) const { v = part_.I32(at); }
  void Pointer(size_t at, RowPointer& v) const { v = RowPointer::FromStored(part_.U32(at)); }
  void Type(size_t at, ColumnType& v) const {
    uint8_t code = part_.U8(at);
    if (!IsKnownColumnType(code)) ThrowCorrupt(Problem::kDamagedColumnType, {.number = code});
    v = static_cast<ColumnType>(code);
  }
  void Marker(size_t, uint32_t) const {}  // written, never checked: the raw copy keeps them

 private:
  ByteView part_;
};

// Writes each field of a part from the definition. REQUIRES: the part's bytes are sized.
class FieldWriter {
 public:
  static constexpr bool kReads = false;
  explicit FieldWriter(uint8_t* part) : part_(part) {}
  void U8(size_t at, uint8_t v) const { part_[at] = v; }
  void U16(size_t at, uint16_t v) const { PutU16(part_ + at, v); }
  void U32(size_t at, uint32_t v) const { PutU32(part_ + at, v); }
  void I32(size_t at, int32_t v) const { PutU32(part_ + at, static_cast<uint32_t>(v)); }
  void Pointer(size_t at, const RowPointer& v) const { PutU32(part_ + at, v.ToStored()); }
  void Type(size_t at, ColumnType v) const { part_[at] = static_cast<uint8_t>(v); }
  void Marker(size_t at, uint32_t v) const { PutU32(part_ + at, v); }

 private:
  uint8_t* part_;
};

// The header's counts of the parts that follow it: read by the decoder, taken from the
// vectors' sizes by the encoder.
struct PartCounts {
  uint16_t columns = 0;
  uint32_t logical_indexes = 0;
  uint32_t real_indexes = 0;
};

// The header after the page fields (doc/jet4-format.md §6.1). `T` is TableDefinition for
// the reader, const TableDefinition for the writer.
template <class Io, class T>
void HeaderFields(const Io& io, T& t, PartCounts& n) {
  io.Marker(0x0C, tdef::kMarker);
  io.U32(tdef::kRowCount, t.row_count);
  io.U32(0x14, t.last_autonumber);  // the last number handed out, not the next
  io.I32(0x18, t.autonumber_increment);
  io.U32(0x1C, t.complex_autonumber);
  io.U8(0x28, t.table_type);
  io.U16(0x29, t.next_column_id);
  io.U16(0x2B, t.variable_columns);
  io.U16(0x2D, n.columns);
  io.U32(0x2F, n.logical_indexes);
  io.U32(0x33, n.real_indexes);
  io.Pointer(0x37, t.owned_pages);
  io.Pointer(0x3B, t.free_pages);
}

// One real index's statistics entry (§6.3).
template <class Io, class R>
void IndexStatFields(const Io& io, R& ri) {
  io.U32(0x00, ri.stat_unknown);
  io.U32(0x04, ri.stat_unique_keys);
  io.U32(0x08, ri.stat_reserved);
}

// One column descriptor (§6.4).
template <class Io, class C>
void ColumnFields(const Io& io, C& c) {
  io.Type(0x00, c.type);
  io.Marker(0x01, tdef::kMarker);
  io.U16(0x05, c.id);
  io.U16(0x07, c.variable_index);
  io.U16(0x09, c.ordinal);
  // Bytes 0x0B..0x0E hold a numeric column's precision and scale, any other column's sort
  // order. The reader takes both readings; the writer stores the one the type uses.
  const bool numeric = c.type == ColumnType::kNumeric;
  if (Io::kReads || numeric) {
    io.U8(0x0B, c.precision);
    io.U8(0x0C, c.scale);
  }
  if (Io::kReads || !numeric) {
    io.U16(0x0B, c.sort_order.lcid);
    io.U8(0x0D, c.sort_order.sort_id);
    io.U8(0x0E, c.sort_order.version);
  }
  io.U8(0x0F, c.flags);
  io.U8(0x10, c.extended_flags);
  io.U16(0x15, c.fixed_offset);
  io.U16(0x17, c.length);
}

// One real index block (§6.5), but for its key columns at tdef::kIndexColumnSlots.
template <class Io, class R>
void RealIndexFields(const Io& io, R& ri) {
  io.Marker(0x00, tdef::kRealIndexMarker);
  io.Pointer(0x22, ri.usage_map);
  io.U32(0x26, ri.root_page);
  io.U32(0x2A, ri.reserved);
  io.U8(0x2E, ri.flags);
}

// One logical index block (§6.6).
template <class Io, class L>
void LogicalIndexFields(const Io& io, L& li) {
  io.Marker(0x00, tdef::kMarker);
  io.U32(0x04, li.number);
  io.U32(0x08, li.real_index);
  io.U8(0x0C, li.related_table_type);
  io.I32(0x0D, li.related_index);
  io.U32(0x11, li.related_table_page);
  io.U8(0x15, li.cascade_update);
  io.U8(0x16, li.cascade_delete);
  io.U8(0x17, li.type);
  io.U32(0x18, li.trailer);
}

// One long-value column's pair of usage maps (§6.7).
template <class Io, class M>
void LongValueMapFields(const Io& io, M& m) {
  io.U16(0x00, m.column_id);
  io.Pointer(0x02, m.owned);
  io.Pointer(0x06, m.free);
}

// Where key column `k` of a real index block sits, and its order byte (1 ascending).
constexpr size_t IndexColumnAt(size_t k) {
  return tdef::kIndexColumnSlots + tdef::kIndexColumnSlotSize * k;
}
constexpr size_t kIndexColumnOrder = 2;

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
  if (v.U8(0) != kPageTableDefinition) ThrowCorrupt(Problem::kDamagedNotDefinitionPage);
  TableDefinition t;
  v.Check(0, kBody);
  std::copy(v.data(), v.data() + kBody, t.raw_header.begin());
  PartCounts n;
  HeaderFields(FieldReader(v), t, n);

  if (n.real_indexes > n.logical_indexes || n.logical_indexes > kMostLogicalIndexes) {
    ThrowCorrupt(Problem::kDamagedDefinition);
  }
  size_t pos = kBody;
  RequireRoom(v, pos, n.real_indexes, kIndexStatSize, "index statistics");
  t.real_indexes.resize(n.real_indexes);
  for (auto& ri : t.real_indexes) {
    IndexStatFields(FieldReader(v.Sub(pos, kIndexStatSize)), ri);
    pos += kIndexStatSize;
  }

  RequireRoom(v, pos, n.columns, kColumnSize, "columns");
  t.columns.resize(n.columns);
  for (auto& c : t.columns) {
    ByteView d = v.Sub(pos, kColumnSize);
    ColumnFields(FieldReader(d), c);
    std::copy(d.data(), d.data() + kColumnSize, c.raw.begin());
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
      uint16_t id = b.U16(IndexColumnAt(k));
      if (id == kNoColumn) continue;
      // An index names its columns by id. One naming no column of the table was scribbled:
      // its keys cannot be built, and the next column added would take that id and give the
      // index keys it never held.
      if (!t.ColumnById(id)) ThrowCorrupt(Problem::kDamagedDefinition);
      // Order byte: 0x01 ascending, 0x00 descending.
      ri.columns.push_back({id, b.U8(IndexColumnAt(k) + kIndexColumnOrder) != 0x00});
    }
    RealIndexFields(FieldReader(b), ri);
    pos += kRealIndexSize;
  }

  RequireRoom(v, pos, n.logical_indexes, kLogicalIndexSize, "logical indexes");
  t.logical_indexes.resize(n.logical_indexes);
  for (auto& li : t.logical_indexes) {
    LogicalIndexFields(FieldReader(v.Sub(pos, kLogicalIndexSize)), li);
    if (li.real_index >= n.real_indexes) ThrowCorrupt(Problem::kDamagedDefinition);
    pos += kLogicalIndexSize;
  }
  for (auto& li : t.logical_indexes) li.name = ReadName(v, pos);

  // Long-value usage maps: (column id, owned, free) until the 0xFFFF terminator.
  // Some writers end the definition without the list; its absence means no long-value columns.
  for (;;) {
    if (pos + 2 > v.size()) break;
    uint16_t id = v.U16(pos);
    if (id == kEndOfLongValueMaps) break;
    if (t.long_value_maps.size() > n.columns) ThrowCorrupt(Problem::kDamagedDefinition);
    // A column with two pairs of maps would write its values by one and read them by the other.
    for (const LongValueMaps& m : t.long_value_maps) {
      if (m.column_id == id) ThrowCorrupt(Problem::kDamagedDefinition);
    }
    LongValueMapFields(FieldReader(v.Sub(pos, kLongValueMapSize)),
                       t.long_value_maps.emplace_back());
    pos += kLongValueMapSize;
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

// Appends a part of `size` bytes, starting from `initial` (a raw copy, or zeros when null).
uint8_t* AppendPart(std::vector<uint8_t>& out, size_t size, const uint8_t* initial = nullptr) {
  size_t at = out.size();
  if (initial) {
    out.insert(out.end(), initial, initial + size);
  } else {
    out.resize(at + size);
  }
  return out.data() + at;
}

}  // namespace

std::vector<uint8_t> EncodeTableDefinition(const TableDefinition& t) {
  using namespace tdef;
  std::vector<uint8_t> out(t.raw_header.begin(), t.raw_header.end());
  uint8_t* h = out.data();
  h[0] = kPageTableDefinition;
  h[1] = 0x01;
  PutU16(h + kFreeSpace, 0);
  PutU32(h + kNextPage, 0);
  PartCounts n{static_cast<uint16_t>(t.columns.size()),
               static_cast<uint32_t>(t.logical_indexes.size()),
               static_cast<uint32_t>(t.real_indexes.size())};
  HeaderFields(FieldWriter(h), t, n);

  for (const auto& ri : t.real_indexes) {
    IndexStatFields(FieldWriter(AppendPart(out, kIndexStatSize)), ri);
  }
  for (const auto& c : t.columns) {
    ColumnFields(FieldWriter(AppendPart(out, kColumnSize, c.raw.data())), c);
  }
  for (const auto& c : t.columns) AppendName(c.name, out);
  for (const auto& ri : t.real_indexes) {
    uint8_t* b = AppendPart(out, kRealIndexSize, ri.raw.data());
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
      uint8_t* slot = b + IndexColumnAt(k);
      if (k < ri.columns.size()) {
        PutU16(slot, ri.columns[k].column_id);
        slot[kIndexColumnOrder] = ri.columns[k].ascending ? 0x01 : 0x00;
      } else if (ByteView(slot, 2).U16(0) != kNoColumn) {
        PutU16(slot, kNoColumn);
        slot[kIndexColumnOrder] = 0;
      }
    }
    RealIndexFields(FieldWriter(b), ri);
  }
  for (const auto& li : t.logical_indexes) {
    LogicalIndexFields(FieldWriter(AppendPart(out, kLogicalIndexSize)), li);
  }
  for (const auto& li : t.logical_indexes) AppendName(li.name, out);
  for (const auto& m : t.long_value_maps) {
    LongValueMapFields(FieldWriter(AppendPart(out, kLongValueMapSize)), m);
  }
  PutU16(AppendPart(out, 2), kEndOfLongValueMaps);
  PutU32(out.data() + kLength, static_cast<uint32_t>(out.size()));
  return out;
}

}  // namespace jet
