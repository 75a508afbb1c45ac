// Numeric (DECIMAL) values: a sign and a 128-bit magnitude scaled by 10^scale. Stored in a
// row as a sign byte (0x80 negative) and four 32-bit little-endian words, most significant
// word first; in memory the engine carries them as decimal text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace jet {

struct ScaledDecimal {
  bool negative = false;
  unsigned __int128 magnitude = 0;  // the value times 10^scale
};

// Reads "-12.5" for a column of `scale` decimals: extra decimals are rounded half away from
// zero. nullopt when the text is not a decimal number or needs more than `precision` digits.
std::optional<ScaledDecimal> ParseScaledDecimal(std::string_view text, uint8_t precision,
                                                uint8_t scale);

// The 16 magnitude bytes, most significant first.
void MagnitudeBigEndian(const ScaledDecimal& d, uint8_t out[16]);

}  // namespace jet
