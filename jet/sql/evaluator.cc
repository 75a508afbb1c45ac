#include "jet/sql/evaluator.h"

#include <cmath>

#include "base/unicode.h"
#include "jet/error.h"
#include "jet/format/text_key.h"
#include "jet/sql/conversion.h"

namespace jet::sql {
namespace {

bool IsNumeric(ValueKind k) {
  switch (k) {
    case ValueKind::kBoolean:
    case ValueKind::kByte:
    case ValueKind::kInteger:
    case ValueKind::kLong:
    case ValueKind::kCurrency:
    case ValueKind::kSingle:
    case ValueKind::kDouble:
    case ValueKind::kDateTime:
    case ValueKind::kNumeric:
      return true;
    default:
      return false;
  }
}

std::vector<uint8_t> TextOrderKey(const std::string& text) {
  std::vector<uint8_t> key;
  AppendGeneralTextKey(base::Utf8ToUtf16(text), true, key);
  return key;
}

}  // namespace

namespace {

enum class StaticKind { kUnknown, kNumber, kText, kDate };

StaticKind KindOf(const Expression& e, const TableDefinition& def) {
  switch (e.kind) {
    case Expression::Kind::kNumber:
      return StaticKind::kNumber;
    case Expression::Kind::kString:
      return StaticKind::kText;
    case Expression::Kind::kColumn: {
      ColumnType t = def.columns[static_cast<size_t>(e.column)].type;
      if (IsTextType(t)) return StaticKind::kText;
      if (t == ColumnType::kDateTime) return StaticKind::kDate;
      if (t == ColumnType::kBinary || t == ColumnType::kOle || t == ColumnType::kGuid) {
        return StaticKind::kUnknown;
      }
      return StaticKind::kNumber;
    }
    default:
      return StaticKind::kUnknown;
  }
}

// Jet checks a comparison's types when it compiles the statement, so a mismatch is an
// error even when no row is ever compared.
void CheckComparisonTypes(const Expression& e, const TableDefinition& def) {
  const Expression& l = *e.operands[0];
  const Expression& r = *e.operands[1];
  StaticKind a = KindOf(l, def), b = KindOf(r, def);
  auto date_text = [](const Expression& x) {
    return x.kind == Expression::Kind::kString && ParseDate(x.text).has_value();
  };
  bool mismatch = (a == StaticKind::kNumber && b == StaticKind::kText) ||
                  (a == StaticKind::kText && b == StaticKind::kNumber) ||
                  (a == StaticKind::kDate && b == StaticKind::kText && !date_text(r)) ||
                  (a == StaticKind::kText && b == StaticKind::kDate && !date_text(l));
  if (mismatch) {
    const Expression& named = l.kind == Expression::Kind::kColumn ? l : r;
    throw JetError(Problem::kTypeMismatch, {.column = named.text});
  }
}

}  // namespace

void Bind(Expression& e, const TableDefinition& def, const TableRef& source) {
  if (e.kind == Expression::Kind::kColumn) {
    if (!e.qualifier.empty() && !base::EqualsIgnoreCase(e.qualifier, source.name) &&
        !base::EqualsIgnoreCase(e.qualifier, source.alias)) {
      throw JetError(Problem::kFieldNotFound, {.column = e.qualifier + "." + e.text});
    }
    for (size_t i = 0; i < def.columns.size(); ++i) {
      if (base::EqualsIgnoreCase(def.columns[i].name, e.text)) {
        e.column = static_cast<int>(i);
        return;
      }
    }
    throw JetError(Problem::kFieldNotFound,
                   {.column = e.qualifier.empty() ? e.text : e.qualifier + "." + e.text});
  }
  for (auto& operand : e.operands) Bind(*operand, def, source);
  if (e.kind == Expression::Kind::kCompare) CheckComparisonTypes(e, def);
}

Value Evaluate(const Expression& e, const std::vector<Value>& row) {
  switch (e.kind) {
    case Expression::Kind::kNull:
      return Value::Null();
    case Expression::Kind::kNumber: {
      auto d = ParseNumber(e.text);
      if (!d) throw JetError(Problem::kSyntaxError, {.name = e.text, .number = e.position});
      if (e.text.find_first_of(".eE") == std::string::npos && *d >= -2147483648.0 &&
          *d <= 2147483647.0) {
        return Value::Long(static_cast<int32_t>(*d));
      }
      // The literal as written goes along, so that a decimal column takes all its digits.
      return Value{ValueKind::kDouble, 0, *d, e.text, {}};
    }
    case Expression::Kind::kString:
      return Value::Text(e.text);
    case Expression::Kind::kColumn:
      return row.at(static_cast<size_t>(e.column));
    case Expression::Kind::kNegate: {
      Value v = Evaluate(*e.operands[0], row);
      if (v.IsNull()) return v;
      if (!IsNumeric(v.kind))
        throw JetError(Problem::kTypeMismatch, {.column = e.operands[0]->text});
      if (v.kind == ValueKind::kCurrency || v.kind == ValueKind::kLong ||
          v.kind == ValueKind::kInteger || v.kind == ValueKind::kByte) {
        v.integer = -v.integer;
        if (v.kind == ValueKind::kByte) v.kind = ValueKind::kInteger;
        return v;
      }
      return Value{ValueKind::kDouble, 0, -NumberOf(v, e.operands[0]->text), {}, {}};
    }
    default: {
      std::optional<bool> t = Test(e, row);
      if (!t) return Value::Null();
      return Value::Boolean(*t);
    }
  }
}

int CompareValues(const Value& a, const Value& b, const std::string& context) {
  bool a_text = a.kind == ValueKind::kText, b_text = b.kind == ValueKind::kText;
  if (a_text && b_text) {
    std::vector<uint8_t> ka = TextOrderKey(a.text), kb = TextOrderKey(b.text);
    return ka < kb ? -1 : (kb < ka ? 1 : 0);
  }
  if (IsNumeric(a.kind) && IsNumeric(b.kind)) {
    bool exact = a.kind != ValueKind::kSingle && a.kind != ValueKind::kDouble &&
                 a.kind != ValueKind::kDateTime && a.kind != ValueKind::kNumeric &&
                 b.kind != ValueKind::kSingle && b.kind != ValueKind::kDouble &&
                 b.kind != ValueKind::kDateTime && b.kind != ValueKind::kNumeric &&
                 a.kind != ValueKind::kCurrency && b.kind != ValueKind::kCurrency;
    if (exact) {
      int64_t x = a.kind == ValueKind::kBoolean ? -a.integer : a.integer;
      int64_t y = b.kind == ValueKind::kBoolean ? -b.integer : b.integer;
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    double x = NumberOf(a, context), y = NumberOf(b, context);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  // A date compared with text written as a date.
  if (a.kind == ValueKind::kDateTime && b_text) {
    if (auto d = ParseDate(b.text))
      return CompareValues(a, Value{ValueKind::kDateTime, 0, *d, {}, {}}, context);
  }
  if (b.kind == ValueKind::kDateTime && a_text) {
    if (auto d = ParseDate(a.text))
      return CompareValues(Value{ValueKind::kDateTime, 0, *d, {}, {}}, b, context);
  }
  if ((a.kind == ValueKind::kBinary || a.kind == ValueKind::kGuid) && a.kind == b.kind) {
    return a.bytes < b.bytes ? -1 : (b.bytes < a.bytes ? 1 : 0);
  }
  throw JetError(Problem::kTypeMismatch, {.column = context});
}

std::optional<bool> Test(const Expression& e, const std::vector<Value>& row) {
  switch (e.kind) {
    case Expression::Kind::kAnd: {
      auto l = Test(*e.operands[0], row);
      if (l && !*l) return false;
      auto r = Test(*e.operands[1], row);
      if (r && !*r) return false;
      if (!l || !r) return std::nullopt;
      return true;
    }
    case Expression::Kind::kOr: {
      auto l = Test(*e.operands[0], row);
      if (l && *l) return true;
      auto r = Test(*e.operands[1], row);
      if (r && *r) return true;
      if (!l || !r) return std::nullopt;
      return false;
    }
    case Expression::Kind::kNot: {
      auto v = Test(*e.operands[0], row);
      if (!v) return std::nullopt;
      return !*v;
    }
    case Expression::Kind::kIsNull: {
      bool null = Evaluate(*e.operands[0], row).IsNull();
      return e.negated ? !null : null;
    }
    case Expression::Kind::kCompare: {
      Value a = Evaluate(*e.operands[0], row), b = Evaluate(*e.operands[1], row);
      if (a.IsNull() || b.IsNull()) return std::nullopt;
      const Expression& named =
          e.operands[0]->kind == Expression::Kind::kColumn ? *e.operands[0] : *e.operands[1];
      int c = CompareValues(a, b, named.text);
      const std::string& op = e.text;
      if (op == "=") return c == 0;
      if (op == "<>") return c != 0;
      if (op == "<") return c < 0;
      if (op == "<=") return c <= 0;
      if (op == ">") return c > 0;
      return c >= 0;
    }
    default: {
      // A bare value as a condition: non-zero numbers are true.
      Value v = Evaluate(e, row);
      if (v.IsNull()) return std::nullopt;
      if (!IsNumeric(v.kind)) throw JetError(Problem::kTypeMismatch, {.column = e.text});
      return NumberOf(v, e.text) != 0;
    }
  }
}

}  // namespace jet::sql
