#include "jet/sql/conversion.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/unicode.h"
#include "jet/error.h"
#include "jet/format/numeric.h"

namespace jet::sql {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

Value Integer(ValueKind kind, double d, double low, double high, const ColumnDefinition& c) {
  // Jet rounds to the nearest integer (halves to even) when a fraction goes into an integer.
  double r = std::nearbyint(d);
  if (!(r >= low && r <= high)) throw JetError(Problem::kValueTooLarge, {.column = c.name});
  return Value{kind, static_cast<int64_t>(r), 0, {}, {}};
}

std::string TextOf(const Value& v) {
  if (v.kind == ValueKind::kBoolean) return v.integer ? "True" : "False";
  if (v.kind == ValueKind::kDateTime) {
    std::string iso = FormatOleDate(v.real);
    if (iso.size() >= 19) {
      iso[10] = ' ';
      if (iso.substr(11) == "00:00:00") iso.resize(10);
    }
    return iso;
  }
  return ValueToText(v);
}

// A decimal column keeps every digit it is given that its scale holds: a number written in
// the statement, text and another decimal keep theirs; a floating-point value gives the
// digits of its shortest spelling. Digits past the scale are cut off, and a value with more
// digits before the point than the precision leaves room for is refused.
Value Decimal(const ColumnDefinition& c, const Value& v) {
  std::string text;
  switch (v.kind) {
    case ValueKind::kBoolean:
      text = v.integer ? "-1" : "0";  // Jet's True is -1
      break;
    case ValueKind::kDateTime:
      text = FormatDouble(v.real);
      break;
    case ValueKind::kDouble:
      text = v.text.empty() ? FormatDouble(v.real) : v.text;
      break;
    case ValueKind::kByte:
    case ValueKind::kInteger:
    case ValueKind::kLong:
    case ValueKind::kCurrency:
    case ValueKind::kSingle:
      text = ValueToText(v);
      break;
    case ValueKind::kText:
    case ValueKind::kNumeric:
      text = v.text;
      break;
    default:
      throw JetError(Problem::kTypeMismatch, {.column = c.name});
  }
  return Value{
      ValueKind::kNumeric, 0, 0, FormatScaledDecimal(DecimalForColumn(text, c), c.scale), {}};
}

}  // namespace

double NumberOf(const Value& v, const std::string& context) {
  switch (v.kind) {
    case ValueKind::kBoolean:
      return v.integer ? -1.0 : 0.0;  // Jet's True is -1
    case ValueKind::kByte:
    case ValueKind::kInteger:
    case ValueKind::kLong:
      return static_cast<double>(v.integer);
    case ValueKind::kCurrency:
      return static_cast<double>(v.integer) / 10000.0;
    case ValueKind::kSingle:
    case ValueKind::kDouble:
    case ValueKind::kDateTime:
      return v.real;
    case ValueKind::kText:
    case ValueKind::kNumeric: {
      auto n = ParseNumber(v.text);
      if (!n) throw JetError(Problem::kTypeMismatch, {.column = context});
      return *n;
    }
    default:
      throw JetError(Problem::kTypeMismatch, {.column = context});
  }
}

std::optional<double> ParseNumber(std::string_view text) {
  std::string s(Trim(text));
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  double d = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(d)) return std::nullopt;
  // strtod also reads hex and "inf"; SQL numbers are decimal only.
  for (char c : s) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E')) {
      return std::nullopt;
    }
  }
  return d;
}

std::optional<double> ParseDate(std::string_view text) {
  std::string s(Trim(text));
  int a = 0, b = 0, c = 0, h = 0, mi = 0, se = 0;
  char sep1 = 0, sep2 = 0;
  int consumed = 0;
  if (std::sscanf(s.c_str(), "%d%c%d%c%d%n", &a, &sep1, &b, &sep2, &c, &consumed) != 5 ||
      sep1 != sep2 || (sep1 != '-' && sep1 != '/')) {
    return std::nullopt;
  }
  std::string rest = s.substr(static_cast<size_t>(consumed));
  if (!rest.empty()) {
    int n = 0;
    if (std::sscanf(rest.c_str(), " %d:%d%n", &h, &mi, &n) != 2) return std::nullopt;
    std::string seconds = rest.substr(static_cast<size_t>(n));
    if (!seconds.empty() && std::sscanf(seconds.c_str(), ":%d", &se) != 1) return std::nullopt;
  }
  int year, month, day;
  if (a > 31) {
    year = a, month = b, day = c;  // year first
  } else {
    month = a, day = b, year = c;  // US order, as Jet reads SQL date literals
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 100 || year > 9999 || h < 0 ||
      h > 23 || mi < 0 || mi > 59 || se < 0 || se > 59) {
    return std::nullopt;
  }
  return OleDateFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day), h, mi,
                          se);
}

Value ConvertForColumn(const ColumnDefinition& c, const Value& v, bool truncate_text) {
  if (v.IsNull()) return Value::Null();
  switch (c.type) {
    case ColumnType::kBoolean:
      return Value::Boolean(NumberOf(v, c.name) != 0);
    case ColumnType::kByte:
      return Integer(ValueKind::kByte, NumberOf(v, c.name), 0, 255, c);
    case ColumnType::kInteger:
      return Integer(ValueKind::kInteger, NumberOf(v, c.name), -32768, 32767, c);
    case ColumnType::kLong:
      return Integer(ValueKind::kLong, NumberOf(v, c.name), -2147483648.0, 2147483647.0, c);
    case ColumnType::kCurrency: {
      if (v.kind == ValueKind::kCurrency) return v;
      double scaled = NumberOf(v, c.name) * 10000.0;
      if (!(std::fabs(scaled) < 9.2e18))
        throw JetError(Problem::kValueTooLarge, {.column = c.name});
      return Value{ValueKind::kCurrency, std::llround(scaled), 0, {}, {}};
    }
    case ColumnType::kSingle:
    case ColumnType::kDouble: {
      double d = NumberOf(v, c.name);
      if (c.type == ColumnType::kSingle && std::fabs(d) > 3.4028234e38)
        throw JetError(Problem::kValueTooLarge, {.column = c.name});
      return Value{
          c.type == ColumnType::kSingle ? ValueKind::kSingle : ValueKind::kDouble, 0, d, {}, {}};
    }
    case ColumnType::kDateTime: {
      if (v.kind == ValueKind::kText) {
        auto d = ParseDate(v.text);
        if (!d) throw JetError(Problem::kTypeMismatch, {.column = c.name});
        return Value{ValueKind::kDateTime, 0, *d, {}, {}};
      }
      return Value{ValueKind::kDateTime, 0, NumberOf(v, c.name), {}, {}};
    }
    case ColumnType::kText:
    case ColumnType::kMemo: {
      if (v.kind == ValueKind::kBinary || v.kind == ValueKind::kGuid)
        throw JetError(Problem::kTypeMismatch, {.column = c.name});
      std::string text = v.kind == ValueKind::kText ? v.text : TextOf(v);
      const size_t capacity = c.length / 2;
      if (c.type == ColumnType::kText && base::Utf16Length(text) > capacity) {
        if (!truncate_text) throw JetError(Problem::kValueTooLarge, {.column = c.name});
        // Never split a surrogate pair.
        std::u16string units = base::Utf8ToUtf16(text);
        size_t cut = capacity;
        if (cut > 0 && units[cut - 1] >= 0xD800 && units[cut - 1] <= 0xDBFF) --cut;
        text = base::Utf16ToUtf8(units.substr(0, cut));
      }
      return Value::Text(std::move(text));
    }
    case ColumnType::kOle:
    case ColumnType::kBinary: {
      if (v.kind == ValueKind::kBinary) {
        if (c.type == ColumnType::kBinary && v.bytes.size() > c.length)
          throw JetError(Problem::kValueTooLarge, {.column = c.name});
        return v;
      }
      throw JetError(Problem::kTypeMismatch, {.column = c.name});
    }
    case ColumnType::kGuid:
      if (v.kind == ValueKind::kGuid) return v;
      throw JetError(Problem::kTypeMismatch, {.column = c.name});
    case ColumnType::kNumeric:
      return Decimal(c, v);
    case ColumnType::kAccessObjectData:
      break;
  }
  throw JetError(Problem::kTypeMismatch, {.column = c.name});
}

Value ConvertTextForColumn(const ColumnDefinition& c, const std::string& text) {
  if (text.empty()) {
    if (c.type == ColumnType::kText) return Value::Text("");
    return Value::Null();
  }
  if (c.type == ColumnType::kBoolean) {
    std::u16string folded = base::FoldCase(base::Utf8ToUtf16(std::string(Trim(text))));
    if (folded == u"TRUE" || folded == u"YES") return Value::Boolean(true);
    if (folded == u"FALSE" || folded == u"NO") return Value::Boolean(false);
  }
  return ConvertForColumn(c, Value::Text(text), true);
}

}  // namespace jet::sql
