// A column value in memory, and its text form. Text is UTF-8; binary data is kept as bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jet {

enum class ValueKind {
  kNull,
  kBoolean,
  kByte,
  kInteger,
  kLong,
  kCurrency,  // `integer` holds the amount times 10^4
  kSingle,
  kDouble,    // `real`; a number written in a SQL statement keeps its spelling in `text`
  kDateTime,  // `real` holds days since 1899-12-30, the fraction being the time of day
  kText,      // Text and Memo
  kBinary,    // Binary and OLE
  kGuid,      // `bytes` holds the 16 bytes as stored
  kNumeric,   // `text` holds the decimal number, e.g. "-12.5000"
};

struct Value {
  ValueKind kind = ValueKind::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string text;
  std::vector<uint8_t> bytes;

  bool IsNull() const { return kind == ValueKind::kNull; }
  static Value Null() { return {}; }
  static Value Boolean(bool b) { return {ValueKind::kBoolean, b ? 1 : 0, 0, {}, {}}; }
  static Value Long(int32_t v) { return {ValueKind::kLong, v, 0, {}, {}}; }
  static Value Text(std::string s) { return {ValueKind::kText, 0, 0, std::move(s), {}}; }
};

// The value as text: integers as decimal digits with a leading "-", currency with four
// decimals, dates as ISO 8601 ("2003-06-13T00:15:28", the time rounded to the second),
// GUIDs in braces, binary as lowercase hex, Booleans as "1"/"0", NULL as "". Callers that must
// tell NULL from empty text check IsNull() first.
std::string ValueToText(const Value& value);

// Date helpers shared by the text form and the SQL layer.
std::string FormatOleDate(double days);
std::string FormatGuid(const std::vector<uint8_t>& bytes);
std::string FormatDouble(double d);

}  // namespace jet

namespace jet {
// Days since 1899-12-30 for a civil date and time (proleptic Gregorian).
double OleDateFromCivil(int year, unsigned month, unsigned day, int hour = 0, int minute = 0,
                        int second = 0);
// The current local time as an OLE Automation date, as Access stamps catalog rows.
double OleDateNow();
}  // namespace jet
