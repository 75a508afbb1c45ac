#include "jet/format/numeric.h"

#include <cctype>

namespace jet {

std::optional<ScaledDecimal> ParseScaledDecimal(std::string_view text, uint8_t precision,
                                                uint8_t scale) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  ScaledDecimal d;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    d.negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  int digits = 0;
  auto push = [&](char c) -> bool {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    d.magnitude = d.magnitude * 10 + static_cast<unsigned>(c - '0');
    if (d.magnitude != 0) ++digits;
    return true;
  };
  for (char c : whole) {
    if (!push(c)) return std::nullopt;
  }
  for (size_t i = 0; i < scale; ++i) {
    if (!push(i < fraction.size() ? fraction[i] : '0')) return std::nullopt;
  }
  for (size_t i = scale; i < fraction.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(fraction[i]))) return std::nullopt;
  }
  if (fraction.size() > scale && fraction[scale] >= '5') d.magnitude += 1;
  if (digits > precision) return std::nullopt;
  if (d.magnitude == 0) d.negative = false;
  return d;
}

void MagnitudeBigEndian(const ScaledDecimal& d, uint8_t out[16]) {
  for (int i = 0; i < 16; ++i) out[i] = static_cast<uint8_t>(d.magnitude >> (8 * (15 - i)));
}

}  // namespace jet
