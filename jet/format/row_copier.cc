#include "jet/format/row_copier.h"

#include <algorithm>
#include <cstring>

#include "jet/error.h"
#include "jet/format/row_writer.h"
#include "jet/format/text_codec.h"

namespace jet {

RowCopier::RowCopier(const TableDefinition& source, const TableDefinition& target,
                     const std::vector<int>& source_columns)
    : source_(source),
      target_(target),
      source_layout_(LayoutOf(source)),
      target_layout_(LayoutOf(target)),
      columns_(target.columns.size()),
      slot_columns_(target_layout_.variable_slots, -1) {
  if (source_columns.size() != target.columns.size()) throw JetError(Problem::kInternalRowShape);
  for (size_t i = 0; i < target.columns.size(); ++i) {
    const ColumnDefinition& c = target.columns[i];
    const ColumnPlace& place = target_layout_.columns[i];
    Column& column = columns_[i];
    column.source = source_columns[i];
    if (column.source != kNoSource && static_cast<size_t>(column.source) >= source.columns.size()) {
      throw JetError(Problem::kInternalStoredCopy, {.column = c.name});
    }
    if (c.type == ColumnType::kText) column.kind = c.IsFixed() ? Kind::kFixedText : Kind::kText;
    // A column that may get a value (from the source, or a new autonumber) but that a row
    // cannot hold, beyond the recorded column count or the slot table, is damage in the
    // target's definition; found here, before any row is written.
    const bool may_hold_value =
        column.source != kNoSource || (c.flags & ColumnDefinition::kFlagAutoLong);
    if (!may_hold_value) continue;
    if (place.id >= target_layout_.column_count) ThrowCorrupt(Problem::kDamagedDefinition);
    if (place.kind == ColumnPlace::Kind::kVariable) {
      if (place.variable_index >= slot_columns_.size()) {
        ThrowCorrupt(Problem::kDamagedDefinition);
      }
      slot_columns_[place.variable_index] = static_cast<int>(i);
    }
  }
}

void RowCopier::Split(ByteView row) {
  SplitRow(source_, source_layout_, row, parts_);
}

const ColumnData* RowCopier::SourceOf(size_t column) const {
  const int s = columns_[column].source;
  if (s == kNoSource) return nullptr;
  const ColumnData& data = parts_[static_cast<size_t>(s)];
  if (data.null) return nullptr;
  return &data;
}

const ColumnDefinition& RowCopier::SourceColumn(size_t column) const {
  return source_.columns.at(static_cast<size_t>(columns_[column].source));
}

void RowCopier::ThrowTooLong(size_t column) const {
  throw JetError(Problem::kValueTooLarge, {.column = target_.columns[column].name});
}

void RowCopier::Assemble(const std::vector<std::optional<ByteView>>& supplied,
                         std::vector<uint8_t>& out) {
  const RowLayout& layout = target_layout_;
  const size_t n = columns_.size();
  if (supplied.size() != n) throw JetError(Problem::kInternalRowShape);
  const size_t column_count = layout.column_count;
  const size_t mask_length = (column_count + 7) / 8;
  const size_t slot_count = layout.variable_slots;

  // Room for the largest row these values can make; the real size is known at the end.
  size_t variable_room = 0;
  for (size_t i = 0; i < n; ++i) {
    if (layout.columns[i].kind != ColumnPlace::Kind::kVariable) continue;
    if (supplied[i]) {
      variable_room += supplied[i]->size();
    } else if (const ColumnData* data = SourceOf(i)) {
      variable_room += columns_[i].kind == Kind::kText ? MaxReencodedSize(data->bytes.size())
                                                       : data->bytes.size();
    }
  }
  const size_t fixed_end = layout.fixed_end;
  const size_t tail = OffsetTableSize(slot_count) + mask_length;
  out.resize(2 + fixed_end + variable_room + tail);
  uint8_t* row = out.data();
  PutU16(row, static_cast<uint16_t>(column_count));
  std::memset(row + 2, 0, fixed_end);
  // The mask ends the row, whose size is known only once the variable values are written;
  // until then its bits are kept here.
  uint8_t mask_bits[32] = {};
  std::vector<uint8_t> big_mask;
  uint8_t* mask = mask_bits;
  if (mask_length > sizeof mask_bits) {
    big_mask.assign(mask_length, 0);
    mask = big_mask.data();
  }
  auto set_present = [&](uint16_t id) { mask[id / 8] |= static_cast<uint8_t>(1 << (id % 8)); };

  // Fixed values and booleans.
  for (size_t i = 0; i < n; ++i) {
    const ColumnPlace& place = layout.columns[i];
    if (place.kind == ColumnPlace::Kind::kVariable) continue;
    if (place.kind == ColumnPlace::Kind::kBoolean) {
      const int s = columns_[i].source;
      if (s != kNoSource && parts_[static_cast<size_t>(s)].boolean &&
          !parts_[static_cast<size_t>(s)].null) {
        set_present(place.id);
      }
      continue;
    }
    ByteView bytes;
    if (supplied[i]) {
      bytes = *supplied[i];
    } else if (const ColumnData* data = SourceOf(i)) {
      bytes = data->bytes;
      if (columns_[i].kind == Kind::kFixedText) {
        // Padded to the column's full length, plain UTF-16.
        DecodeTextInto(data->bytes, units_);
        const size_t capacity = target_.columns[i].length / 2u;
        if (units_.size() > capacity) ThrowTooLong(i);
        units_.resize(capacity, u' ');
        fixed_text_.clear();
        AppendEncodedText(units_, false, fixed_text_);
        bytes = ByteView(fixed_text_.data(), fixed_text_.size());
      }
    } else {
      continue;
    }
    set_present(place.id);
    std::memcpy(row + 2 + place.fixed_offset, bytes.data(), std::min(bytes.size(), place.size));
  }

  // Variable values in slot order, each written once where it belongs.
  size_t at = 2 + fixed_end;
  std::vector<uint16_t>& offsets = slot_offsets_;
  offsets.resize(slot_count);
  for (size_t k = 0; k < slot_count; ++k) {
    offsets[k] = static_cast<uint16_t>(std::min<size_t>(at, 0xFFFF));
    const int column = slot_columns_[k];
    if (column < 0) continue;  // a deleted column's slot stays empty
    const size_t i = static_cast<size_t>(column);
    const ColumnDefinition& c = target_.columns[i];
    if (supplied[i]) {
      if (!supplied[i]->empty()) std::memcpy(row + at, supplied[i]->data(), supplied[i]->size());
      at += supplied[i]->size();
    } else if (const ColumnData* data = SourceOf(i)) {
      if (columns_[i].kind == Kind::kText) {
        ReencodedText r = ReencodeText(data->bytes, c.AllowsCompression(), row + at);
        if (r.units > c.length / 2u) ThrowTooLong(i);
        at += r.bytes;
      } else {
        if (c.type == ColumnType::kBinary && data->bytes.size() > c.length) ThrowTooLong(i);
        if (!data->bytes.empty()) std::memcpy(row + at, data->bytes.data(), data->bytes.size());
        at += data->bytes.size();
      }
    } else {
      continue;
    }
    set_present(layout.columns[i].id);
  }

  const size_t data_end = at;
  const size_t size = data_end + tail;
  if (size > kMaxRowSize) {
    throw JetError(Problem::kRecordTooLarge, {.number = size, .limit = kMaxRowSize});
  }
  if (slot_count > 0) PutOffsetTable(row + data_end, data_end, offsets.data(), slot_count);
  std::memcpy(row + size - mask_length, mask, mask_length);
  out.resize(size);
}

}  // namespace jet
