// Text values as stored: UTF-16LE, or the "compressed" form that starts FF FE and then holds
// runs of one-byte characters (U+0000..U+00FF) and runs of UTF-16, separated by 00 bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/format/bytes.h"

namespace jet {

std::u16string DecodeText(ByteView stored);

// Stores `text` compressed when compression is allowed and makes it shorter, else as UTF-16LE.
// Compression is used only when every character is in U+0001..U+00FF, which is the form every
// reader handles and Access writes for such values.
std::vector<uint8_t> EncodeText(std::u16string_view text, bool allow_compression);
// The same, appended to `out`.
void AppendEncodedText(std::u16string_view text, bool allow_compression, std::vector<uint8_t>& out);

}  // namespace jet
