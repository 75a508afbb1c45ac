#include "jet/format/row_reader.h"

#include <algorithm>
#include <string>

#include "jet/format/numeric.h"
#include "jet/format/text_codec.h"

namespace jet {

std::vector<ColumnData> SplitRow(const TableDefinition& def, ByteView row) {
  std::vector<ColumnData> out;
  SplitRow(def, row, out);
  return out;
}

void SplitRow(const TableDefinition& def, ByteView row, std::vector<ColumnData>& out) {
  SplitRow(def, LayoutOf(def), row, out);
}

void SplitRow(const TableDefinition& def, const RowLayout& layout, ByteView row,
              std::vector<ColumnData>& out) {
  const size_t n = layout.columns.size();
  if (n != def.columns.size()) throw JetError(Problem::kInternalRowShape);
  out.resize(n);
  if (row.size() < 2) ThrowCorrupt(Problem::kDamagedRow);
  const size_t column_count = row.U16(0);
  const size_t mask_length = (column_count + 7) / 8;
  if (2 + mask_length > row.size()) ThrowCorrupt(Problem::kDamagedRow);
  const size_t mask_start = row.size() - mask_length;
  // Every place read below is checked against the row's length once, here and where the
  // offset table is found, so the reads themselves are plain loads: every row of every
  // scan and copy is split here.
  const uint8_t* const bytes = row.data();
  auto present = [&](uint16_t id) {
    return id < column_count && (bytes[mask_start + id / 8] >> (id % 8)) & 1;
  };

  size_t variable_count = 0;
  size_t table_end = mask_start;  // first byte of the offset table (or the mask)
  if (layout.first_variable_id < column_count) {
    if (mask_start < 4) ThrowCorrupt(Problem::kDamagedRow);
    variable_count = row.U16(mask_start - 2);
    if (4 + 2 * variable_count > mask_start) ThrowCorrupt(Problem::kDamagedRow);
    table_end = mask_start - 4 - 2 * variable_count;
  }
  // Offsets are read from the end: slot k's start at mask_start-4-2k, its end just below.
  // REQUIRES k <= variable_count, which keeps the read within the offset table.
  auto slot_offset = [&](size_t k) {
    const uint8_t* p = bytes + mask_start - 4 - 2 * k;
    return static_cast<size_t>(p[0] | (p[1] << 8));
  };

  using Kind = ColumnPlace::Kind;
  for (size_t i = 0; i < n; ++i) {
    const ColumnPlace& c = layout.columns[i];
    ColumnData& d = out[i];
    d = ColumnData{};
    if (c.id >= column_count) continue;  // added after this row was written
    if (c.kind == Kind::kBoolean) {
      d.null = false;
      d.boolean = present(c.id);
      continue;
    }
    if (!present(c.id)) continue;
    if (c.kind == Kind::kFixed) {
      size_t start = 2 + size_t{c.fixed_offset};
      if (start + c.size > table_end) {
        ThrowCorrupt(Problem::kDamagedColumn, {.column = def.columns[i].name});
      }
      d.null = false;
      d.bytes = ByteView(bytes + start, c.size);
    } else {
      if (c.variable_index >= variable_count) continue;
      size_t start = slot_offset(c.variable_index);
      size_t end = slot_offset(c.variable_index + 1);
      if (start > end || end > table_end) {
        ThrowCorrupt(Problem::kDamagedColumn, {.column = def.columns[i].name});
      }
      d.null = false;
      d.bytes = ByteView(bytes + start, end - start);
    }
  }
}

Value DecodeColumnValue(const ColumnDefinition& c, const ColumnData& d) {
  Value v;
  DecodeColumnValue(c, d, v);
  return v;
}

void DecodeColumnValue(const ColumnDefinition& c, const ColumnData& d, Value& v) {
  v.kind = ValueKind::kNull;
  v.integer = 0;
  v.real = 0;
  v.text.clear();
  v.bytes.clear();
  if (d.null) return;
  const ByteView& b = d.bytes;
  switch (c.type) {
    case ColumnType::kBoolean:
      v.kind = ValueKind::kBoolean;
      v.integer = d.boolean ? 1 : 0;
      break;
    case ColumnType::kByte:
      v.kind = ValueKind::kByte;
      v.integer = b.U8(0);
      break;
    case ColumnType::kInteger:
      v.kind = ValueKind::kInteger;
      v.integer = b.I16(0);
      break;
    case ColumnType::kLong:
      v.kind = ValueKind::kLong;
      v.integer = b.I32(0);
      break;
    case ColumnType::kCurrency:
      v.kind = ValueKind::kCurrency;
      v.integer = b.I64(0);
      break;
    case ColumnType::kSingle:
      v.kind = ValueKind::kSingle;
      v.real = b.F32(0);
      break;
    case ColumnType::kDouble:
      v.kind = ValueKind::kDouble;
      v.real = b.F64(0);
      break;
    case ColumnType::kDateTime:
      v.kind = ValueKind::kDateTime;
      v.real = b.F64(0);
      break;
    case ColumnType::kText:
      v.kind = ValueKind::kText;
      AppendTextAsUtf8(b, v.text);
      break;
    case ColumnType::kGuid:
      b.Check(0, 16);
      v.kind = ValueKind::kGuid;
      v.bytes.assign(b.data(), b.data() + 16);
      break;
    case ColumnType::kNumeric:
      v.kind = ValueKind::kNumeric;
      v.text = FormatScaledDecimal(LoadNumeric(b), c.scale);
      break;
    case ColumnType::kBinary:
    case ColumnType::kAccessObjectData:
    case ColumnType::kOle:
    case ColumnType::kMemo:
      v.kind = ValueKind::kBinary;
      v.bytes.assign(b.data(), b.data() + b.size());
      break;
  }
}

}  // namespace jet
