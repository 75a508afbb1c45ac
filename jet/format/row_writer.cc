#include "jet/format/row_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/unicode.h"
#include "jet/format/bytes.h"
#include "jet/format/numeric.h"
#include "jet/format/row_reader.h"
#include "jet/format/text_codec.h"

namespace jet {
namespace {

bool IsInteger(ValueKind k) {
  return k == ValueKind::kByte || k == ValueKind::kInteger || k == ValueKind::kLong;
}

// Whether `v` is a value `c` can store as it is. Callers convert first (the SQL layer does);
// this stops a value of another kind from being stored as whatever its unused fields hold.
bool Fits(const ColumnDefinition& c, const Value& v) {
  switch (c.type) {
    case ColumnType::kByte:
      return IsInteger(v.kind) && v.integer >= 0 && v.integer <= 0xFF;
    case ColumnType::kInteger:
      return IsInteger(v.kind) && v.integer >= -32768 && v.integer <= 32767;
    case ColumnType::kLong:
      return IsInteger(v.kind) && v.integer >= INT32_MIN && v.integer <= INT32_MAX;
    case ColumnType::kCurrency:
      return v.kind == ValueKind::kCurrency;
    case ColumnType::kSingle:
    case ColumnType::kDouble:
      return v.kind == ValueKind::kSingle || v.kind == ValueKind::kDouble;
    case ColumnType::kDateTime:
      return v.kind == ValueKind::kDateTime;
    case ColumnType::kText:
      return v.kind == ValueKind::kText;
    case ColumnType::kGuid:
      return v.kind == ValueKind::kGuid || v.kind == ValueKind::kBinary;
    case ColumnType::kBinary:
      return v.kind == ValueKind::kBinary;
    case ColumnType::kNumeric:
      return v.kind == ValueKind::kNumeric;
    default:
      return true;  // refused below
  }
}

}  // namespace

std::vector<uint8_t> EncodeColumnValue(const ColumnDefinition& c, const Value& v) {
  if (!Fits(c, v)) {
    throw JetError(Problem::kTypeMismatch, {.column = c.name});
  }
  std::vector<uint8_t> out;
  auto put = [&](uint64_t bits, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  };
  switch (c.type) {
    case ColumnType::kByte:
      put(static_cast<uint64_t>(v.integer), 1);
      break;
    case ColumnType::kInteger:
      put(static_cast<uint64_t>(v.integer), 2);
      break;
    case ColumnType::kLong:
      put(static_cast<uint64_t>(v.integer), 4);
      break;
    case ColumnType::kCurrency:
      put(static_cast<uint64_t>(v.integer), 8);
      break;
    case ColumnType::kSingle: {
      float f = static_cast<float>(v.real);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      put(bits, 4);
      break;
    }
    case ColumnType::kDouble:
    case ColumnType::kDateTime: {
      uint64_t bits;
      std::memcpy(&bits, &v.real, 8);
      put(bits, 8);
      break;
    }
    case ColumnType::kText: {
      std::u16string text = base::Utf8ToUtf16(v.text);
      size_t capacity = c.length / 2;
      if (text.size() > capacity) {
        throw JetError(Problem::kValueTooLarge, {.column = c.name});
      }
      if (c.IsFixed()) {
        // Fixed-length text is always plain UTF-16, padded with spaces to its full length.
        text.resize(capacity, u' ');
        out = EncodeText(text, false);
      } else {
        out = EncodeText(text, c.AllowsCompression());
      }
      break;
    }
    case ColumnType::kGuid:
    case ColumnType::kBinary:
      if (c.type == ColumnType::kGuid && v.bytes.size() != 16) {
        throw JetError(Problem::kGuidSize, {.column = c.name});
      }
      if (v.bytes.size() > c.length && c.type == ColumnType::kBinary) {
        throw JetError(Problem::kValueTooLarge, {.column = c.name});
      }
      out = v.bytes;
      if (c.IsFixed()) out.resize(c.length, 0);
      break;
    case ColumnType::kNumeric:
      out.resize(kNumericSize);
      StoreNumeric(DecimalForColumn(v.text, c), out.data());
      break;
    default:
      throw JetError(Problem::kTypeNotWritable, {.column = c.name});
  }
  return out;
}

void PutOffsetTable(uint8_t* table, size_t data_end, const uint16_t* starts, size_t slots) {
  PutU16(table, static_cast<uint16_t>(data_end));
  // Last slot first, so slot 0's start sits just before the count.
  for (size_t k = 0; k < slots; ++k) PutU16(table + 2 + 2 * (slots - 1 - k), starts[k]);
  PutU16(table + 2 + 2 * slots, static_cast<uint16_t>(slots));
}

std::vector<uint8_t> AssembleRow(const TableDefinition& def, const RowLayout& layout,
                                 const std::vector<std::optional<std::vector<uint8_t>>>& columns,
                                 const std::vector<uint8_t>& booleans) {
  std::vector<std::optional<ByteView>> views(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i]) views[i] = ByteView(columns[i]->data(), columns[i]->size());
  }
  std::vector<uint8_t> row;
  AssembleRowInto(def, layout, views, booleans, row);
  return row;
}

void AssembleRowInto(const TableDefinition& def, const RowLayout& layout,
                     const std::vector<std::optional<ByteView>>& columns,
                     const std::vector<uint8_t>& booleans, std::vector<uint8_t>& row) {
  const size_t n = layout.columns.size();
  if (n != def.columns.size() || columns.size() != n || booleans.size() != n) {
    throw JetError(Problem::kInternalRowShape);
  }
  const size_t column_count = layout.column_count;
  const size_t mask_length = (column_count + 7) / 8;
  const size_t fixed_end = layout.fixed_end;
  // Variable values in slot order; a slot whose column was deleted stays empty. Tables have
  // at most 255 columns, so the slots fit on the stack but for a damaged definition.
  const size_t slot_count = layout.variable_slots;
  // Only the slots in use are cleared: this runs for every row of a bulk copy.
  std::array<const ByteView*, 256> slot_array;
  std::vector<const ByteView*> slot_vector;
  const ByteView** slots = slot_array.data();
  if (slot_count > slot_array.size()) {
    slot_vector.assign(slot_count, nullptr);
    slots = slot_vector.data();
  } else {
    std::fill_n(slot_array.begin(), slot_count, nullptr);
  }
  using Kind = ColumnPlace::Kind;
  size_t variable_bytes = 0;
  for (size_t i = 0; i < n; ++i) {
    const ColumnPlace& c = layout.columns[i];
    if (c.kind != Kind::kVariable || !columns[i]) continue;
    if (c.variable_index >= slot_count) ThrowCorrupt(Problem::kDamagedDefinition);
    slots[c.variable_index] = &*columns[i];
    variable_bytes += columns[i]->size();
  }
  const bool has_variable = slot_count > 0;
  const size_t data_end = 2 + fixed_end + variable_bytes;
  const size_t size = data_end + OffsetTableSize(slot_count) + mask_length;
  if (size > kMaxRowSize) {
    throw JetError(Problem::kRecordTooLarge, {.number = size, .limit = kMaxRowSize});
  }
  row.resize(size);
  uint8_t* out = row.data();
  // Only the fixed area and the mask need zeros: everything else below is written whole.
  std::memset(out + 2, 0, fixed_end);
  uint8_t* mask = out + size - mask_length;
  std::memset(mask, 0, mask_length);
  PutU16(out, static_cast<uint16_t>(column_count));
  auto set_present = [&](uint16_t id) {
    // An id beyond the recorded column count would land past the row's end.
    if (id >= column_count) ThrowCorrupt(Problem::kDamagedDefinition);
    mask[id / 8] |= static_cast<uint8_t>(1 << (id % 8));
  };
  for (size_t i = 0; i < n; ++i) {
    const ColumnPlace& c = layout.columns[i];
    if (c.kind == Kind::kBoolean) {
      if (booleans[i]) set_present(c.id);
      continue;
    }
    if (!columns[i]) continue;
    set_present(c.id);
    if (c.kind == Kind::kFixed) {
      const ByteView& bytes = *columns[i];
      std::memcpy(out + 2 + c.fixed_offset, bytes.data(), std::min(bytes.size(), c.size));
    }
  }
  if (has_variable) {
    std::array<uint16_t, 256> start_array;
    std::vector<uint16_t> start_vector;
    uint16_t* starts = start_array.data();
    if (slot_count > start_array.size()) {
      start_vector.resize(slot_count);
      starts = start_vector.data();
    }
    size_t at = 2 + fixed_end;
    for (size_t k = 0; k < slot_count; ++k) {
      starts[k] = static_cast<uint16_t>(at);
      if (const ByteView* v = slots[k]) {
        if (!v->empty()) std::memcpy(out + at, v->data(), v->size());
        at += v->size();
      }
    }
    PutOffsetTable(out + data_end, data_end, starts, slot_count);
  }
}

}  // namespace jet
