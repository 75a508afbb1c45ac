#include "jet/format/numeric.h"

#include <algorithm>
#include <cctype>

#include "jet/error.h"
#include "jet/format/table_definition.h"

namespace jet {
namespace {

constexpr uint8_t kNegativeSign = 0x80;
// 10^38 < 2^127: any 38 digits fit the magnitude.
constexpr size_t kMostDigits = 38;
// An exponent beyond this cannot describe a value that fits, however many digits precede it.
constexpr long kExponentLimit = 100000;

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

DecimalReading ReadScaledDecimal(std::string_view text, uint8_t precision, uint8_t scale,
                                 ScaledDecimal& out) {
  out = {};
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // The value is `digits` (no leading zeros) times 10^exponent.
  std::string digits;
  long exponent = 0;
  bool any_digit = false, seen_point = false;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !seen_point) {
      seen_point = true;
    } else if (IsDigit(c)) {
      any_digit = true;
      if (seen_point) --exponent;
      if (!digits.empty() || c != '0') digits.push_back(c);
    } else {
      break;
    }
  }
  if (!any_digit) return DecimalReading::kNotANumber;
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return DecimalReading::kNotANumber;
    ++i;
    bool exponent_negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
      exponent_negative = text[i] == '-';
      ++i;
    }
    if (i == text.size()) return DecimalReading::kNotANumber;
    long written = 0;
    for (; i < text.size(); ++i) {
      if (!IsDigit(text[i])) return DecimalReading::kNotANumber;
      written = std::min(written * 10 + (text[i] - '0'), kExponentLimit);
    }
    exponent += exponent_negative ? -written : written;
  }
  // Scaled by the column, the digits past the scale are cut off.
  const long shift = exponent + scale;
  if (shift < 0) {
    const size_t cut = static_cast<size_t>(std::min<long>(-shift, kExponentLimit));
    digits.resize(digits.size() > cut ? digits.size() - cut : 0);
  }
  if (digits.empty()) return DecimalReading::kRead;  // zero, without a sign
  const size_t zeros = shift > 0 ? static_cast<size_t>(shift) : 0;
  const size_t allowed = std::min<size_t>(precision, kMostDigits);
  if (digits.size() > allowed || zeros > allowed - digits.size()) {
    return DecimalReading::kTooLarge;
  }
  for (char c : digits) out.magnitude = out.magnitude * 10 + static_cast<unsigned>(c - '0');
  for (size_t k = 0; k < zeros; ++k) out.magnitude *= 10;
  out.negative = negative;
  return DecimalReading::kRead;
}

ScaledDecimal DecimalForColumn(std::string_view text, const ColumnDefinition& column) {
  ScaledDecimal d;
  switch (ReadScaledDecimal(text, WritablePrecision(column.precision), column.scale, d)) {
    case DecimalReading::kRead:
      break;
    case DecimalReading::kTooLarge:
      throw JetError(
          Problem::kDecimalTooLarge,
          {.column = column.name, .limit = WritableIntegerDigits(column.precision, column.scale)});
    case DecimalReading::kNotANumber:
      throw JetError(Problem::kTypeMismatch, {.column = column.name});
  }
  return d;
}

std::string FormatScaledDecimal(const ScaledDecimal& d, uint8_t scale) {
  // Digits from the least significant, then the point and sign, then turned around.
  std::string text;
  unsigned __int128 magnitude = d.magnitude;
  size_t produced = 0;
  do {
    if (scale > 0 && produced == scale) text.push_back('.');
    text.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
    ++produced;
  } while (magnitude != 0 || produced <= scale);
  if (d.negative) text.push_back('-');
  std::reverse(text.begin(), text.end());
  return text;
}

void MagnitudeBigEndian(const ScaledDecimal& d, uint8_t out[16]) {
  for (int i = 0; i < 16; ++i) out[i] = static_cast<uint8_t>(d.magnitude >> (8 * (15 - i)));
}

void StoreNumeric(const ScaledDecimal& d, uint8_t* out) {
  out[0] = d.negative && d.magnitude != 0 ? kNegativeSign : 0x00;
  for (int w = 0; w < 4; ++w) {
    PutU32(out + 1 + 4 * w, static_cast<uint32_t>(d.magnitude >> (32 * (3 - w))));
  }
}

ScaledDecimal LoadNumeric(ByteView stored) {
  stored.Check(0, kNumericSize);
  ScaledDecimal d;
  d.negative = (stored.U8(0) & kNegativeSign) != 0;
  for (int w = 0; w < 4; ++w) d.magnitude = (d.magnitude << 32) | stored.U32(1 + 4 * w);
  return d;
}

}  // namespace jet
