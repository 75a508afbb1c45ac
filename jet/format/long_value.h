// Memo and OLE values: a 12-byte header in the row says whether the bytes follow inline, sit
// in one row of a long-value ("LVAL") page, or form a chain of such rows, each starting with
// a pointer to the next.
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
// A chained row holds a 4-byte pointer to the next row, then up to this many data bytes.
inline constexpr size_t kLongValueChunk = 4072;

// Throws kCorrupt on an unknown form byte or an inline length past the stored bytes.
LongValueHeader DecodeLongValueHeader(ByteView stored);

}  // namespace jet
