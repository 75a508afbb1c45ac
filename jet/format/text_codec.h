// Text values as stored: UTF-16LE, or the "compressed" form that starts FF FE and then holds
// runs of one-byte characters (U+0000..U+00FF) and runs of UTF-16, separated by 00 bytes
// (doc/jet4-format.md §5.4).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format/bytes.h"

namespace jet {

// Reads UTF-16LE as it stands in names and other fixed fields (an odd trailing byte ignored).
std::u16string ReadUtf16Le(ByteView bytes);

std::u16string DecodeText(ByteView stored);
// The same characters into `out` (replacing what it held), so a caller that decodes value
// after value reuses one buffer.
void DecodeTextInto(ByteView stored, std::u16string& out);
// Appends the stored text to `out` as UTF-8, exactly base::Utf16ToUtf8(DecodeText(stored)) but
// without the UTF-16 string between them: exports and scans convert every text value.
void AppendTextAsUtf8(ByteView stored, std::string& out);

// Re-encodes stored text by another column's rule: appends to `out` exactly what
// AppendEncodedText(DecodeText(stored), allow_compression, out) appends, without the UTF-16
// string between them, and returns the text's length in UTF-16 units. Copies between tables
// re-encode every text value.
size_t AppendReencodedText(ByteView stored, bool allow_compression, std::vector<uint8_t>& out);

// The same written at `out`, for callers that keep their own buffer. Returns the units and
// the bytes written. REQUIRES: MaxReencodedSize(stored.size()) bytes of room at `out`.
struct ReencodedText {
  size_t units = 0;
  size_t bytes = 0;
};
ReencodedText ReencodeText(ByteView stored, bool allow_compression, uint8_t* out);
// The most bytes re-encoding `stored_size` bytes of stored text can write: two per unit and
// a three-byte marker, and a stored value never has more units than half its bytes plus one.
constexpr size_t MaxReencodedSize(size_t stored_size) {
  return 2 * stored_size + 3;
}

// Stores `text` compressed when compression is allowed and makes it shorter, else as UTF-16LE.
// Compression is used only when every character is in U+0001..U+00FF, which is the form every
// reader handles and Access writes for such values.
std::vector<uint8_t> EncodeText(std::u16string_view text, bool allow_compression);
// The same, appended to `out`.
void AppendEncodedText(std::u16string_view text, bool allow_compression, std::vector<uint8_t>& out);

}  // namespace jet
