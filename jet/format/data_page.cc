#include "jet/format/data_page.h"

#include <string>

#include "jet/format/page_size.h"

namespace jet {

DataPageReader::DataPageReader(ByteView page) : page_(page) {
  page_.Check(0, kPageSize);
  if (page_.U8(0) != kPageData) ThrowCorrupt("expected a data page, found page type " + std::to_string(page_.U8(0)));
  row_count_ = page_.U16(data_page::kRowCount);
  if (data_page::kSlots + 2 * size_t{row_count_} > kPageSize) {
    ThrowCorrupt("data page claims " + std::to_string(row_count_) + " rows");
  }
}

RowSlot DataPageReader::Row(uint16_t row) const {
  using namespace data_page;
  if (row >= row_count_) {
    ThrowCorrupt("row " + std::to_string(row) + " does not exist on a page of " +
                 std::to_string(row_count_) + " rows");
  }
  uint16_t slot = page_.U16(kSlots + 2 * row);
  RowSlot result;
  result.deleted = slot & kDeleted;
  result.overflow = slot & kOverflow;
  size_t start = slot & kOffsetMask;
  size_t end = row == 0 ? kPageSize : page_.U16(kSlots + 2 * (row - 1)) & kOffsetMask;
  size_t table_end = kSlots + 2 * size_t{row_count_};
  if (start < table_end || start > end || end > kPageSize) {
    if (result.deleted) return result;  // a deleted slot's bytes are never read
    ThrowCorrupt("row " + std::to_string(row) + " has offsets " + std::to_string(start) + ".." +
                 std::to_string(end));
  }
  result.bytes = page_.Sub(start, end - start);
  return result;
}

}  // namespace jet
