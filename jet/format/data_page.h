// Data pages (type 0x01): a slot table after a 14-byte header, rows packed from the end of
// the page downwards. Also used for usage-map rows and long values ("LVAL" pages).
// doc/jet4-format.md §5.1.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "jet/format/bytes.h"
#include "jet/format/page_size.h"

namespace jet {

namespace data_page {
inline constexpr size_t kFreeSpace = 0x02;
inline constexpr size_t kOwner = 0x04;
inline constexpr size_t kRowCount = 0x0C;
inline constexpr size_t kSlots = 0x0E;
inline constexpr uint16_t kDeleted = 0x8000;
inline constexpr uint16_t kOverflow = 0x4000;
inline constexpr uint16_t kOffsetMask = 0x1FFF;
inline constexpr uint32_t kLvalOwner = 0x4C41564C;             // "LVAL"
inline constexpr size_t kEmptyFreeSpace = kPageSize - kSlots;  // 4082
inline constexpr size_t kMaxRowsPerPage = 255;
}  // namespace data_page

struct RowSlot {
  bool deleted = false;
  bool overflow = false;  // the row holds a pointer to the row's real place
  ByteView bytes;         // the row's bytes (empty if deleted rows have no room)
};

class DataPageReader {
 public:
  // REQUIRES: page is a whole page. Throws kCorrupt if it is not a data page or its slot
  // table does not fit.
  explicit DataPageReader(ByteView page);

  uint32_t owner() const { return page_.U32(data_page::kOwner); }
  uint16_t row_count() const { return row_count_; }
  uint16_t free_space() const { return page_.U16(data_page::kFreeSpace); }
  // Throws kCorrupt if the slot's offsets are inconsistent or `row` is out of range.
  RowSlot Row(uint16_t row) const;

 private:
  ByteView page_;
  uint16_t row_count_;
};

}  // namespace jet

namespace jet {

// --- Writing data pages. All take the page's decoded bytes. ---

// A fresh, empty data page owned by the table defined at `owner` (or kLvalOwner).
void InitDataPage(std::span<uint8_t> page, uint32_t owner);

// What a writer appending many rows to one page knows after its last append: the page's
// row count then and where its lowest row starts. While the row count is still the same,
// nothing has been placed since, so the next append need not rescan the slot table.
struct PageFill {
  uint16_t rows = 0;
  size_t lowest = 0;
  bool known = false;
};

// Places `row` below the lowest row on the page and adds its slot. Returns the slot number,
// or nullopt when the row (plus its 2-byte slot) does not fit or the page is at 255 rows.
// With `fill`, takes the lowest row's start from it while it still describes the page, and
// leaves it describing the page after the append.
std::optional<uint16_t> AppendRowToPage(std::span<uint8_t> page, ByteView row,
                                        PageFill* fill = nullptr);

// Flags a row deleted. Its bytes stay where they are until the page is compacted.
void MarkRowDeleted(std::span<uint8_t> page, uint16_t row);

// Replaces a row in place with bytes of exactly the same length (usage-map rows).
void OverwriteRow(std::span<uint8_t> page, uint16_t row, ByteView bytes);

}  // namespace jet
