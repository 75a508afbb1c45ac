#include "jet/format/text_codec.h"

namespace jet {

std::u16string DecodeText(ByteView s) {
  std::u16string out;
  if (s.size() >= 2 && s.data()[0] == 0xFF && s.data()[1] == 0xFE) {
    out.reserve(s.size());
    bool one_byte = true;
    size_t i = 2;
    while (i < s.size()) {
      uint8_t b = s.data()[i];
      if (b == 0) {
        one_byte = !one_byte;
        ++i;
      } else if (one_byte) {
        out.push_back(static_cast<char16_t>(b));
        ++i;
      } else {
        if (i + 1 >= s.size()) break;  // a dangling half character carries no text
        out.push_back(static_cast<char16_t>(b | (s.data()[i + 1] << 8)));
        i += 2;
      }
    }
    return out;
  }
  out.resize(s.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(s.data()[2 * i] | (s.data()[2 * i + 1] << 8));
  }
  return out;
}

std::vector<uint8_t> EncodeText(std::u16string_view text, bool allow_compression) {
  std::vector<uint8_t> out;
  AppendEncodedText(text, allow_compression, out);
  return out;
}

void AppendEncodedText(std::u16string_view text, bool allow_compression,
                       std::vector<uint8_t>& out) {
  bool compressible = allow_compression && text.size() >= 2;
  if (compressible) {
    for (char16_t c : text) {
      if (c == 0 || c > 0xFF) {
        compressible = false;
        break;
      }
    }
  }
  size_t at = out.size();
  if (compressible) {
    out.resize(at + 2 + text.size());
    out[at] = 0xFF;
    out[at + 1] = 0xFE;
    for (size_t i = 0; i < text.size(); ++i) out[at + 2 + i] = static_cast<uint8_t>(text[i]);
    return;
  }
  // Plain UTF-16 that starts with U+FEFF would begin FF FE, the compressed form's marker;
  // such text is written in the compressed form switched straight to two-byte mode.
  if (!text.empty() && text[0] == 0xFEFF) {
    out.insert(out.end(), {0xFF, 0xFE, 0x00});
    at += 3;
  }
  out.resize(at + text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    out[at + 2 * i] = static_cast<uint8_t>(text[i]);
    out[at + 2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
}

}  // namespace jet
