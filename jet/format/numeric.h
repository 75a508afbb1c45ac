// Numeric (DECIMAL) values: a sign and a magnitude scaled by 10^scale, the precision and
// scale being the column's. In memory the engine carries them as decimal text ("-12.50").
//
// Stored form, 17 bytes: a sign byte (0x80 negative, 0x00 otherwise), then the 128-bit
// magnitude as four 32-bit little-endian words, the most significant word first. Access's
// own files hold exactly this: -8540982423.453 in a (20,10) column is
// 80 | 00000000 | 04000000 | 9ea64ca1 | 80ccb5e3, magnitude 0x4_A14CA69E_E3B5CC80.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "jet/format/bytes.h"

namespace jet {

struct ColumnDefinition;

inline constexpr size_t kNumericSize = 17;
// The most digits a Jet 4 Decimal holds; a column's precision is 1 to this.
inline constexpr uint8_t kMaxDecimalPrecision = 28;

struct ScaledDecimal {
  bool negative = false;
  unsigned __int128 magnitude = 0;  // the value times 10^scale
};

enum class DecimalReading {
  kRead,
  kNotANumber,  // not a decimal number at all
  kTooLarge,    // more digits before the point than the precision leaves room for
};

// Reads "-12.5", " 3 ", "1.5e3" or ".25" for a column of `precision` digits with `scale`
// after the point. Digits beyond the scale are cut off, not rounded, as Jet stores them
// (104.7668 in a scale-2 column is 104.76); a value whose remaining digits are more than
// `precision` is kTooLarge. `precision` above 38 counts as 38, what 128 bits always hold.
DecimalReading ReadScaledDecimal(std::string_view text, uint8_t precision, uint8_t scale,
                                 ScaledDecimal& out);

// The precision a write holds a column to: its own, or the most Jet allows when the
// definition gives none (0) or more than Jet can hold.
inline uint8_t WritablePrecision(uint8_t column_precision) {
  return column_precision >= 1 && column_precision <= kMaxDecimalPrecision ? column_precision
                                                                           : kMaxDecimalPrecision;
}

// The digits a write leaves before the point: the writable precision less the scale.
inline uint8_t WritableIntegerDigits(uint8_t column_precision, uint8_t scale) {
  const uint8_t precision = WritablePrecision(column_precision);
  return precision > scale ? static_cast<uint8_t>(precision - scale) : 0;
}

// Reads `text` for the DECIMAL column `column` as a write stores it: by its writable
// precision and its scale, digits past the scale cut off. Throws, naming the column,
// kDecimalTooLarge (with the digits the column leaves before the point) for a value that
// does not fit, and kTypeMismatch for text that is no number.
ScaledDecimal DecimalForColumn(std::string_view text, const ColumnDefinition& column);

// The value as text with exactly `scale` digits after the point ("-0.50", "12").
std::string FormatScaledDecimal(const ScaledDecimal& d, uint8_t scale);

// The 16 magnitude bytes, most significant first (the order index keys use).
void MagnitudeBigEndian(const ScaledDecimal& d, uint8_t out[16]);

// The stored form; `out` has room for kNumericSize bytes.
void StoreNumeric(const ScaledDecimal& d, uint8_t* out);
// Reads the stored form; throws kCorrupt when `stored` is shorter than kNumericSize.
ScaledDecimal LoadNumeric(ByteView stored);

}  // namespace jet
