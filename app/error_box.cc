#include "app/error_box.h"

namespace app {
namespace {

// The code point of the last character of UTF-8 `text` (not empty). A broken sequence
// counts as its last byte.
char32_t LastCharacter(const std::string& text) {
  size_t at = text.size() - 1;
  while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
  const auto lead = static_cast<unsigned char>(text[at]);
  const size_t length = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                        : lead >= 0xC0 ? 2
                                       : 0;
  if (length != text.size() - at) return static_cast<unsigned char>(text.back());
  if (length == 1) return lead;
  char32_t c = lead & (0x7F >> length);
  for (size_t i = at + 1; i < text.size(); ++i) c = (c << 6) | (text[i] & 0x3F);
  return c;
}

}  // namespace

std::string ErrorBoxText(const std::string& message) {
  if (message.empty() || LastCharacter(message) <= U'.') return message;
  return message + ".";
}

ErrorBoxContent ErrorBoxFor(const std::string& message) {
  return {kApplicationTitle, ErrorBoxText(message)};
}

}  // namespace app
