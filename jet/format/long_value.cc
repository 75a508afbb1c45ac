#include "jet/format/long_value.h"

#include <string>

namespace jet {
namespace {

// The header's first word: the length in its low 30 bits, the form in its top two.
constexpr uint32_t kLengthMask = 0x3FFFFFFF;
constexpr uint8_t kFormMask = 0xC0;  // of the top byte

}  // namespace

LongValueHeader DecodeLongValueHeader(ByteView stored) {
  if (stored.size() < kLongValueHeaderSize) ThrowCorrupt(Problem::kDamagedLongValue);
  uint32_t word = stored.U32(0);
  LongValueHeader h;
  h.length = word & kLengthMask;
  uint8_t form = static_cast<uint8_t>(word >> 24) & kFormMask;
  h.form = static_cast<LongValueForm>(form);
  h.first = RowPointer::FromStored(stored.U32(4));
  if (h.form == LongValueForm::kInline) {
    if (h.length > stored.size() - kLongValueHeaderSize) {
      ThrowCorrupt(Problem::kDamagedLongValue);
    }
    h.inline_data = stored.Sub(kLongValueHeaderSize, h.length);
  } else if (form == kFormMask) {  // both bits: no such form
    ThrowCorrupt(Problem::kDamagedLongValue);
  }
  return h;
}

}  // namespace jet
