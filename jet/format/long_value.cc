#include "jet/format/long_value.h"

#include <string>

namespace jet {

LongValueHeader DecodeLongValueHeader(ByteView stored) {
  if (stored.size() < kLongValueHeaderSize) ThrowCorrupt(Problem::kDamagedLongValue);
  uint32_t word = stored.U32(0);
  LongValueHeader h;
  h.length = word & 0x3FFFFFFF;
  uint8_t form = static_cast<uint8_t>(word >> 24) & 0xC0;
  h.form = static_cast<LongValueForm>(form);
  h.first = RowPointer::FromStored(stored.U32(4));
  if (h.form == LongValueForm::kInline) {
    if (h.length > stored.size() - kLongValueHeaderSize) {
      ThrowCorrupt(Problem::kDamagedLongValue);
    }
    h.inline_data = stored.Sub(kLongValueHeaderSize, h.length);
  } else if (form == 0xC0) {
    ThrowCorrupt(Problem::kDamagedLongValue);
  }
  return h;
}

}  // namespace jet
