// Column values as the demo tables store them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "jet/format/value.h"

namespace demo {

inline jet::Value Text(std::string text) {
  return jet::Value::Text(std::move(text));
}
inline jet::Value TextOrNull(std::optional<std::string> text) {
  return text ? jet::Value::Text(std::move(*text)) : jet::Value::Null();
}
inline jet::Value Long(int64_t v) {
  return jet::Value::Long(static_cast<int32_t>(v));
}
// Prices are kept in fen (hundredths of a yuan); Currency stores ten-thousandths.
inline jet::Value CurrencyFromFen(int64_t fen) {
  return jet::Value{jet::ValueKind::kCurrency, fen * 100, 0, {}, {}};
}
inline jet::Value Date(double ole_days) {
  return jet::Value{jet::ValueKind::kDateTime, 0, ole_days, {}, {}};
}

}  // namespace demo
