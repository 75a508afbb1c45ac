#include "jet/format/text_codec.h"

#include <cstring>

#include "base/unicode.h"

namespace jet {

std::u16string ReadUtf16Le(ByteView bytes) {
  std::u16string out;
  out.resize(bytes.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(bytes.data()[2 * i] | (bytes.data()[2 * i + 1] << 8));
  }
  return out;
}

namespace {

bool IsCompressed(ByteView s) {
  return s.size() >= 2 && s.data()[0] == 0xFF && s.data()[1] == 0xFE;
}

// Calls `unit(c)` for every UTF-16 unit of the stored text, in order.
template <class UnitSink>
void ForEachUnit(ByteView s, UnitSink&& unit) {
  const uint8_t* d = s.data();
  if (IsCompressed(s)) {
    bool one_byte = true;
    size_t i = 2;
    while (i < s.size()) {
      uint8_t b = d[i];
      if (b == 0) {
        one_byte = !one_byte;
        ++i;
      } else if (one_byte) {
        unit(static_cast<char16_t>(b));
        ++i;
      } else {
        if (i + 1 >= s.size()) break;  // a dangling half character carries no text
        unit(static_cast<char16_t>(b | (d[i + 1] << 8)));
        i += 2;
      }
    }
    return;
  }
  const size_t n = s.size() / 2;
  for (size_t i = 0; i < n; ++i) unit(static_cast<char16_t>(d[2 * i] | (d[2 * i + 1] << 8)));
}

}  // namespace

std::u16string DecodeText(ByteView s) {
  std::u16string out;
  DecodeTextInto(s, out);
  return out;
}

void DecodeTextInto(ByteView s, std::u16string& out) {
  out.resize(s.size());  // never more units than stored bytes
  char16_t* o = out.data();
  ForEachUnit(s, [&](char16_t u) { *o++ = u; });
  out.resize(static_cast<size_t>(o - out.data()));
}

size_t AppendReencodedText(ByteView stored, bool allow_compression, std::vector<uint8_t>& out) {
  const size_t at = out.size();
  out.resize(at + MaxReencodedSize(stored.size()));
  ReencodedText r = ReencodeText(stored, allow_compression, out.data() + at);
  out.resize(at + r.bytes);
  return r.units;
}

ReencodedText ReencodeText(ByteView stored, bool allow_compression, uint8_t* out) {
  const uint8_t* d = stored.data();
  if (!IsCompressed(stored)) {
    // Plain UTF-16 (which cannot start with U+FEFF: that would read as the compressed
    // form's marker) stays as it is unless the target compresses it.
    const size_t units = stored.size() / 2;
    bool compress = allow_compression && units >= 2;
    for (size_t i = 0; compress && i < units; ++i) {
      compress = d[2 * i + 1] == 0 && d[2 * i] != 0;
    }
    if (!compress) {
      if (units > 0) std::memcpy(out, d, 2 * units);
      return {units, 2 * units};
    }
  } else if (allow_compression && stored.size() >= 4 &&
             std::memchr(d + 2, 0, stored.size() - 2) == nullptr) {
    // One run of one-byte characters, at least two: already what the encoder writes.
    std::memcpy(out, d, stored.size());
    return {stored.size() - 2, stored.size()};
  }
  // First pass: the length and whether every unit has a one-byte form, which is all the
  // encoder's choice depends on (see AppendEncodedText).
  size_t units = 0;
  bool one_byte = true;
  char16_t first = 0;
  ForEachUnit(stored, [&](char16_t u) {
    if (units == 0) first = u;
    ++units;
    one_byte = one_byte && u != 0 && u <= 0xFF;
  });
  uint8_t* o = out;
  if (allow_compression && units >= 2 && one_byte) {
    *o++ = 0xFF;
    *o++ = 0xFE;
    ForEachUnit(stored, [&](char16_t u) { *o++ = static_cast<uint8_t>(u); });
    return {units, static_cast<size_t>(o - out)};
  }
  // Plain UTF-16 that starts with U+FEFF is written switched straight to two-byte mode, as
  // AppendEncodedText does.
  if (units > 0 && first == 0xFEFF) {
    *o++ = 0xFF;
    *o++ = 0xFE;
    *o++ = 0x00;
  }
  ForEachUnit(stored, [&](char16_t u) {
    *o++ = static_cast<uint8_t>(u);
    *o++ = static_cast<uint8_t>(u >> 8);
  });
  return {units, static_cast<size_t>(o - out)};
}

namespace {

// UTF-8 of one unit that is not a surrogate.
inline char* PutUnit(char* o, uint32_t c) {
  if (c < 0x80) {
    *o++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *o++ = static_cast<char>(0xC0 | (c >> 6));
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *o++ = static_cast<char>(0xE0 | (c >> 12));
    *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return o;
}

inline char* PutPair(char* o, uint32_t high, uint32_t low) {
  uint32_t c = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
  *o++ = static_cast<char>(0xF0 | (c >> 18));
  *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  *o++ = static_cast<char>(0x80 | (c & 0x3F));
  return o;
}

inline bool IsSurrogate(uint32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// Plain UTF-16LE at d[0..2n) as UTF-8 at o; a surrogate without its other half is U+FFFD.
// REQUIRES: four bytes of room at o per unit (a three-byte character is stored as four
// bytes, the last overwritten next, which is what keeps this loop short).
char* PutUtf16(const uint8_t* d, size_t n, char* o) {
  const uint8_t* const end = d + 2 * n;
  while (d != end) {
    uint32_t c = d[0] | (uint32_t{d[1]} << 8);
    d += 2;
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
    } else if (c < 0x800) {
      o = PutUnit(o, c);
    } else if (!IsSurrogate(c)) [[likely]] {
      const char bytes[4] = {static_cast<char>(0xE0 | (c >> 12)),
                             static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                             static_cast<char>(0x80 | (c & 0x3F)), 0};
      std::memcpy(o, bytes, 4);
      o += 3;
    } else {
      uint32_t low = d != end ? d[0] | (uint32_t{d[1]} << 8) : 0;
      if (c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
        o = PutPair(o, c, low);
        d += 2;
      } else {
        o = PutUnit(o, 0xFFFD);
      }
    }
  }
  return o;
}

}  // namespace

void AppendTextAsUtf8(ByteView s, std::string& out) {
  // Sized once for the worst case and trimmed after: a stored byte never makes more than
  // two bytes of UTF-8 (a one-byte character up to U+00FF takes two; a two-byte unit at
  // most three; a surrogate pair, four stored bytes, four).
  const size_t at = out.size();
  out.resize(at + 2 * s.size());
  char* const begin = out.data() + at;
  char* o = begin;
  const uint8_t* d = s.data();
  if (!IsCompressed(s)) {
    o = PutUtf16(d, s.size() / 2, o);
  } else {
    size_t i = 2;
    bool one_byte = true;
    while (i < s.size()) {
      // A run ends at a 00 byte (one-byte runs) or a 00 byte where a unit would start.
      if (one_byte) {
        for (; i < s.size() && d[i] != 0; ++i) o = PutUnit(o, d[i]);
      } else {
        size_t start = i;
        while (i + 1 < s.size() && d[i] != 0) {
          // Surrogates in the compressed form may pair across a switch of runs: rare
          // enough to take the general road for the whole value.
          if (d[i + 1] >= 0xD8 && d[i + 1] <= 0xDF) {
            out.resize(at);
            std::u16string units;
            DecodeTextInto(s, units);
            out += base::Utf16ToUtf8(units);
            return;
          }
          i += 2;
        }
        o = PutUtf16(d + start, (i - start) / 2, o);
        if (i + 1 >= s.size() && i < s.size() && d[i] != 0) break;  // a dangling half
      }
      if (i < s.size()) {  // the 00 byte that switches runs
        one_byte = !one_byte;
        ++i;
      }
    }
  }
  out.resize(at + static_cast<size_t>(o - begin));
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
