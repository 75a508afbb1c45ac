#include "base/unicode.h"

namespace base {

// Both conversions write into a buffer sized for the worst case and trim it once: a table
// copy converts every text value of every row, so per-character appends would dominate.

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out(text.size() * 3, '\0');  // a unit takes at most 3 bytes; a pair 4 for 2
  char* o = out.data();
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = text[i];
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | (c >> 6));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *o++ = static_cast<char>(0xE0 | (c >> 12));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (c >> 18));
      *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

namespace {

// One step of UTF-8 decoding at text[i] (not ASCII). A sequence that is not well formed
// (a bad lead or continuation byte, an overlong form, a surrogate, past U+10FFFF) decodes
// as U+FFFD over its first byte alone, so the bytes after it are read afresh; a sequence
// cut short by the end of the text is one U+FFFD that ends it (length 0).
struct Utf8Step {
  uint32_t code_point;
  size_t length;
};

Utf8Step DecodeUtf8Sequence(std::string_view text, size_t i) {
  const uint8_t b = static_cast<uint8_t>(text[i]);
  int extra;
  uint32_t c;
  if ((b & 0xE0) == 0xC0) {
    c = b & 0x1F;
    extra = 1;
  } else if ((b & 0xF0) == 0xE0) {
    c = b & 0x0F;
    extra = 2;
  } else if ((b & 0xF8) == 0xF0) {
    c = b & 0x07;
    extra = 3;
  } else {
    return {0xFFFD, 1};
  }
  if (i + extra >= text.size()) return {0xFFFD, 0};
  for (int k = 1; k <= extra; ++k) {
    uint8_t cb = static_cast<uint8_t>(text[i + k]);
    if ((cb & 0xC0) != 0x80) return {0xFFFD, 1};
    c = (c << 6) | (cb & 0x3F);
  }
  if ((extra == 1 && c < 0x80) || (extra == 2 && c < 0x800) ||
      (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF)) {
    return {0xFFFD, 1};
  }
  return {c, static_cast<size_t>(extra) + 1};
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out(text.size(), u'\0');  // never more units than bytes
  char16_t* o = out.data();
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) {
      *o++ = b;
      ++i;
      continue;
    }
    Utf8Step step = DecodeUtf8Sequence(text, i);
    uint32_t c = step.code_point;
    if (c >= 0x10000) {
      c -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (c >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(c);
    }
    if (step.length == 0) break;
    i += step.length;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    if (static_cast<uint8_t>(text[i]) < 0x80) {
      ++units;
      ++i;
      continue;
    }
    Utf8Step step = DecodeUtf8Sequence(text, i);
    units += step.code_point >= 0x10000 ? 2 : 1;
    if (step.length == 0) break;
    i += step.length;
  }
  return units;
}

std::u16string FoldCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
      c = static_cast<char16_t>(c - 0x20);
    } else if (c >= 0x450 && c <= 0x45F) {
      c = static_cast<char16_t>(c - 0x50);
    } else if (c >= 0xFF41 && c <= 0xFF5A) {
      c = static_cast<char16_t>(c - 0x20);
    }
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return FoldCase(Utf8ToUtf16(a)) == FoldCase(Utf8ToUtf16(b));
}

}  // namespace base
