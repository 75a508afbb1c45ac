#include "jet/format/data_page.h"

#include <cstring>
#include <string>

#include "jet/format/page_size.h"

namespace jet {
namespace {

// REQUIRES: the slot table of `rows` rows lies within the page (rows < kMaxRowsPerPage).
// Runs over every slot each time a page is read: kept to plain loads and a branch-free
// minimum.
size_t LowestRowStart(ByteView page, uint16_t rows) {
  const size_t table_end = data_page::kSlots + 2 * size_t{rows};
  const uint8_t* slot = page.data() + data_page::kSlots;
  size_t lowest = kPageSize;
  for (uint16_t r = 0; r < rows; ++r, slot += 2) {
    size_t start = (slot[0] | (size_t{slot[1]} << 8)) & data_page::kOffsetMask;
    // Offsets inside the slot table are damage; they never count as the lowest row.
    size_t candidate = start >= table_end ? start : kPageSize;
    lowest = candidate < lowest ? candidate : lowest;
  }
  return lowest;
}

}  // namespace

DataPageReader::DataPageReader(ByteView page) : page_(page) {
  page_.Check(0, kPageSize);
  if (page_.U8(0) != kPageData) ThrowCorrupt(Problem::kDamagedNotDataPage);
  row_count_ = page_.U16(data_page::kRowCount);
  if (data_page::kSlots + 2 * size_t{row_count_} > kPageSize) {
    ThrowCorrupt(Problem::kDamagedDataPage);
  }
  // Jet keeps the free-space count exact: the gap between the slot table and the lowest row
  // (deleted rows keep their bytes until the page is compacted). A row count or slot that a
  // scribble changed breaks it, where otherwise rows would hide from reads and the next
  // insert would take the slot of one of them.
  const size_t table_end = data_page::kSlots + 2 * size_t{row_count_};
  if (page_.U16(data_page::kFreeSpace) != LowestRowStart(page_, row_count_) - table_end) {
    ThrowCorrupt(Problem::kDamagedDataPage);
  }
}

RowSlot DataPageReader::Row(uint16_t row) const {
  using namespace data_page;
  if (row >= row_count_) {
    ThrowCorrupt(Problem::kDamagedDataPage, {.row = row});
  }
  uint16_t slot = page_.U16(kSlots + 2 * row);
  RowSlot result;
  result.deleted = slot & kDeleted;
  result.overflow = slot & kOverflow;
  size_t start = slot & kOffsetMask;
  size_t end = row == 0 ? kPageSize : page_.U16(kSlots + 2 * (row - 1)) & kOffsetMask;
  size_t table_end = kSlots + 2 * size_t{row_count_};
  // A deleted slot keeps its offset (its bytes stay until the page is compacted), so its
  // offset is checked too: a slot that a scribble marked deleted must not make a row vanish
  // unnoticed when the damage also broke its offset.
  if (start < table_end || start > end || end > kPageSize) {
    ThrowCorrupt(Problem::kDamagedDataPage, {.row = row});
  }
  result.bytes = page_.Sub(start, end - start);
  return result;
}

// --- Writing data pages ---

void InitDataPage(std::span<uint8_t> page, uint32_t owner) {
  std::memset(page.data(), 0, page.size());
  page[0] = kPageData;
  page[1] = 0x01;
  PutU16(page.data() + data_page::kFreeSpace, data_page::kEmptyFreeSpace);
  PutU32(page.data() + data_page::kOwner, owner);
}

std::optional<uint16_t> AppendRowToPage(std::span<uint8_t> page, ByteView row, PageFill* fill) {
  using namespace data_page;
  ByteView view(page.data(), page.size());
  uint16_t rows = view.U16(kRowCount);
  if (rows >= kMaxRowsPerPage) return std::nullopt;
  view.Check(0, kSlots + 2 * size_t{rows});
  const bool remembered = fill && fill->known && fill->rows == rows && fill->lowest <= kPageSize;
  size_t lowest = remembered ? fill->lowest : 0;
  if (!remembered) {
    // A page this writer has not placed on yet is read as a reader would first: a new row
    // must not go onto a page whose slots or free-space count a scribble has broken. The
    // reader holds the free-space count to the lowest row, so the count gives that row.
    DataPageReader reader(view);
    for (uint16_t r = 0; r < rows; ++r) reader.Row(r);
    lowest = kSlots + 2 * size_t{rows} + view.U16(kFreeSpace);
  }
  size_t table_end = kSlots + 2 * size_t{rows} + 2;  // including the new slot
  if (lowest < table_end || lowest - table_end < row.size()) return std::nullopt;
  size_t start = lowest - row.size();
  std::copy(row.data(), row.data() + row.size(), page.begin() + static_cast<std::ptrdiff_t>(start));
  PutU16(page.data() + kSlots + 2 * rows, static_cast<uint16_t>(start));
  PutU16(page.data() + kRowCount, static_cast<uint16_t>(rows + 1));
  PutU16(page.data() + kFreeSpace, static_cast<uint16_t>(start - table_end));
  if (fill) *fill = PageFill{static_cast<uint16_t>(rows + 1), start, true};
  return rows;
}

void MarkRowDeleted(std::span<uint8_t> page, uint16_t row) {
  using namespace data_page;
  ByteView view(page.data(), page.size());
  if (row >= view.U16(kRowCount)) ThrowCorrupt(Problem::kDamagedDataPage, {.row = row});
  uint16_t slot = view.U16(kSlots + 2 * row);
  // Both flags, as Access and Jackcess leave a deleted slot.
  PutU16(page.data() + kSlots + 2 * row, static_cast<uint16_t>(slot | kDeleted | kOverflow));
}

void OverwriteRow(std::span<uint8_t> page, uint16_t row, ByteView bytes) {
  DataPageReader reader(ByteView(page.data(), page.size()));
  RowSlot slot = reader.Row(row);
  if (slot.bytes.size() != bytes.size()) throw JetError(Problem::kInternalRowLength);
  size_t start = static_cast<size_t>(slot.bytes.data() - page.data());
  std::copy(bytes.data(), bytes.data() + bytes.size(),
            page.begin() + static_cast<std::ptrdiff_t>(start));
}

}  // namespace jet
