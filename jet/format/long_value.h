// Memo and OLE values: a 12-byte header in the row says whether the bytes follow inline, sit
// in one row of a long-value ("LVAL") page, or form a chain of such rows, each starting with
// a pointer to the next. doc/jet4-format.md §7.
#pragma once

#include <cstdint>

#include "jet/format/bytes.h"
#include "jet/format/row_pointer.h"

namespace jet {

enum class LongValueForm : uint8_t { kChained = 0x00, kSingleRow = 0x40, kInline = 0x80 };

struct LongValueHeader {
  uint32_t length = 0;
  LongValueForm form = LongValueForm::kInline;
  RowPointer first;
  ByteView inline_data;  // kInline only
};

inline constexpr size_t kLongValueHeaderSize = 12;
// The most bytes one row of a long-value page holds: a single-row value whole, or a chained
// row's 4-byte pointer to the next row and then up to kLongValueChunk data bytes.
inline constexpr size_t kLongValueRowSize = 4076;
inline constexpr size_t kLongValueChunk = kLongValueRowSize - 4;

// Throws kCorrupt on an unknown form byte or an inline length past the stored bytes.
LongValueHeader DecodeLongValueHeader(ByteView stored);

}  // namespace jet
